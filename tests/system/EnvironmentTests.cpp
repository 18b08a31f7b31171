#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "TempFolder.h"
#include "platform/system/Environment.h"
#include "platform/system/Time.h"

namespace qorv::platform {
namespace {

using test::ScopedEnv;
using test::TempFolder;

std::string ownFolderUnder(const std::string& base) { return base + "/qorv-" + std::to_string(::geteuid()); }

TEST(TempPath, MakesAPrivateFolderUnderTmpdir) {
  TempFolder dir;
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
  const std::string expected = ownFolderUnder(dir.path()) + "/";
  EXPECT_EQ(GetTempPath(), expected);
  struct stat st {};
  ASSERT_EQ(::lstat(ownFolderUnder(dir.path()).c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0700U);
  // Again, with the folder there; and the buffer form.
  char buffer[512];
  EXPECT_EQ(GetTempPath(sizeof buffer, buffer), expected.size());
  EXPECT_EQ(std::string(buffer), expected);
  char small[4];
  EXPECT_EQ(GetTempPath(sizeof small, small), expected.size() + 1);
}

TEST(TempPath, RefusesFoldersThatAreNotPrivate) {
  struct Row {
    const char* what;
    void (*plant)(const std::string& folder, const std::string& elsewhere);
  };
  const Row rows[] = {
      {"symbolic link", [](const std::string& f, const std::string& e) { ASSERT_EQ(::symlink(e.c_str(), f.c_str()), 0); }},
      {"mode 0755", [](const std::string& f, const std::string&) {
         ASSERT_EQ(::mkdir(f.c_str(), 0700), 0);
         ASSERT_EQ(::chmod(f.c_str(), 0755), 0);
       }},
      {"plain file", [](const std::string& f, const std::string&) { test::writeText(f, "x"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempFolder dir;
    TempFolder elsewhere;
    ASSERT_EQ(::chmod(elsewhere.path().c_str(), 0700), 0);
    ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
    ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
    row.plant(ownFolderUnder(dir.path()), elsewhere.path());
    EXPECT_EQ(GetTempPath(), "");
    char buffer[256];
    EXPECT_EQ(GetTempPath(sizeof buffer, buffer), 0U);
  }
}

TEST(TempPath, RefusesAFolderOfAnotherOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a folder to another user";
  TempFolder dir;
  ScopedEnv runtime("XDG_RUNTIME_DIR", nullptr);
  ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
  const std::string folder = ownFolderUnder(dir.path());
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ASSERT_EQ(::chown(folder.c_str(), 12345, 12345), 0);
  EXPECT_EQ(GetTempPath(), "");
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(TempPath, UsesTheRuntimeFolderOnlyWhenPrivate) {
  TempFolder runtimeDir;
  TempFolder dir;
  ScopedEnv tmpdir("TMPDIR", dir.path().c_str());
  ScopedEnv runtime("XDG_RUNTIME_DIR", runtimeDir.path().c_str());
  ASSERT_EQ(::chmod(runtimeDir.path().c_str(), 0700), 0);
  EXPECT_EQ(GetTempPath(), runtimeDir.path() + "/");
  ASSERT_EQ(::chmod(runtimeDir.path().c_str(), 0755), 0);
  EXPECT_EQ(GetTempPath(), ownFolderUnder(dir.path()) + "/");
}

TEST(TimeZone, ReadsBiasAndDaylightSaving) {
  struct Row {
    const char* tz;
    const char* zoneFile;  // nullptr: a POSIX rule, needs no data
    LONG bias;
    bool hasDst;
    LONG daylightBias;
    WORD daylightMonth;  // month of the change to daylight time, 0 without
    WORD standardMonth;
  };
  const Row rows[] = {
      {"UTC", nullptr, 0, false, 0, 0, 0},
      {"CST-8", nullptr, -480, false, 0, 0, 0},
      {"Asia/Shanghai", "Asia/Shanghai", -480, false, 0, 0, 0},
      {"Europe/Berlin", "Europe/Berlin", -60, true, -60, 3, 10},
      {"America/New_York", "America/New_York", 300, true, -60, 3, 11},
      {"Australia/Sydney", "Australia/Sydney", -600, true, -60, 10, 4},
      {"EST5EDT,M3.2.0,M11.1.0", nullptr, 300, true, -60, 3, 11},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.tz);
    if (row.zoneFile != nullptr && ::access((std::string("/usr/share/zoneinfo/") + row.zoneFile).c_str(), R_OK) != 0) {
      ADD_FAILURE() << "time-zone data missing for " << row.zoneFile << " (package tzdata)";
      continue;
    }
    ScopedEnv tz("TZ", row.tz);
    TIME_ZONE_INFORMATION info{};
    const DWORD id = GetTimeZoneInformation(&info);
    EXPECT_EQ(info.Bias, row.bias);
    EXPECT_EQ(info.StandardBias, 0);
    EXPECT_EQ(info.DaylightBias, row.daylightBias);
    if (row.hasDst) {
      EXPECT_TRUE(id == TIME_ZONE_ID_STANDARD || id == TIME_ZONE_ID_DAYLIGHT) << id;
    } else {
      EXPECT_EQ(id, TIME_ZONE_ID_UNKNOWN);
    }
    EXPECT_EQ(info.DaylightDate.wMonth, row.daylightMonth);
    EXPECT_EQ(info.StandardDate.wMonth, row.standardMonth);
  }
}

TEST(TimeZone, LocalFileTimesShiftByTheBias) {
  ScopedEnv tz("TZ", "CST-8");
  SYSTEMTIME st{1994, 11, 0, 6, 8, 49, 37, 0};
  FILETIME local{};
  ASSERT_TRUE(SystemTimeToFileTime(&st, &local));
  FILETIME utc{};
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  SYSTEMTIME back{};
  ASSERT_TRUE(FileTimeToSystemTime(&utc, &back));
  EXPECT_EQ(back.wHour, 0);
  EXPECT_EQ(back.wMinute, 49);
  FILETIME again{};
  ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &again));
  EXPECT_EQ(FileTimeToUInt64(again), FileTimeToUInt64(local));
}

TEST(TickCount, IsMonotonic) {
  const std::uint64_t first = GetTickCount64();
  ::usleep(20000);
  const std::uint64_t second = GetTickCount64();
  EXPECT_GE(second, first + 15);
  // The 32-bit count is the low half of the same clock.
  EXPECT_LE(static_cast<DWORD>(GetTickCount() - static_cast<DWORD>(second & 0xFFFFFFFFU)), 1000U);
}

TEST(Language, LocaleNamesGiveLanguageIds) {
  struct Row {
    const char* locale;
    LANGID id;
  };
  const Row rows[] = {
      {"en_US", 0x0409},       {"en_US.UTF-8", 0x0409}, {"en_GB.UTF-8", 0x0809}, {"de_DE", 0x0407},
      {"de_DE@euro", 0x0407},  {"de_DE.ISO-8859-15@euro", 0x0407}, {"de_AT.UTF-8", 0x0C07},
      {"de_CH", 0x0807},       {"fr_FR.UTF-8", 0x040C}, {"fr_CA", 0x0C0C},       {"es_ES", 0x0C0A},
      {"es_MX.UTF-8", 0x080A}, {"pt_BR.UTF-8", 0x0416}, {"pt_PT", 0x0816},       {"pt_PT@euro", 0x0816},
      {"zh_CN.UTF-8", 0x0804}, {"zh_TW.UTF-8", 0x0404}, {"zh_HK", 0x0C04},       {"zh_SG.GB2312", 0x1004},
      {"zh_MO", 0x1404},       {"nb_NO.UTF-8", 0x0414}, {"nn_NO", 0x0814},       {"no_NO", 0x0414},
      {"ru_RU.KOI8-R", 0x0419}, {"uk_UA", 0x0422},      {"sv_FI", 0x081D},       {"et_EE", 0x0425},
      {"eu_ES", 0x042D},       {"af_ZA", 0x0436},       {"ms_MY", 0x043E},       {"is_IS", 0x040F},
      {"tr_TR.UTF-8", 0x041F}, {"ja_JP.UTF-8", 0x0411}, {"hr_HR", 0x041A},       {"ko_KR.EUC-KR", 0x0412},
      {"de", 0x0407},          {"de_LU", 0x1007},       {"de_XX", 0x0407},       {"fi", 0x040B},
      {"zh", 0x0804},          {"C", 0x0409},           {"C.UTF-8", 0x0409},     {"POSIX", 0x0409},
      {"", 0x0409},            {"xx_YY", 0x0409},       {"EN_us", 0x0409},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.locale);
    EXPECT_EQ(LangIdFromLocaleName(row.locale), row.id);
  }
}

TEST(Language, EnvironmentOrderDecides) {
  ScopedEnv all("LC_ALL", nullptr);
  ScopedEnv messages("LC_MESSAGES", "pt_BR.UTF-8");
  ScopedEnv lang("LANG", "de_DE.UTF-8");
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0416);
  {
    ScopedEnv allSet("LC_ALL", "nn_NO.UTF-8");
    EXPECT_EQ(GetSystemDefaultLangID(), 0x0814);
  }
  ScopedEnv noMessages("LC_MESSAGES", "");
  EXPECT_EQ(GetSystemDefaultLangID(), 0x0407);
}

TEST(Host, NameAndLoopbackAddresses) {
  EXPECT_FALSE(GetHostName().empty());
  const auto local = ResolveHostIPv4Addresses("localhost");
  EXPECT_NE(std::find(local.begin(), local.end(), "127.0.0.1"), local.end());
  EXPECT_EQ(ResolveHostIPv4Addresses("127.0.0.7"), std::vector<std::string>{"127.0.0.7"});
  EXPECT_TRUE(ResolveHostIPv4Addresses("no-such-host.invalid").empty());
}

// The machine's own addresses are its interfaces', as `ip` lists them.
TEST(Host, OwnAddressesAreTheInterfaces) {
  FILE* ip = ::popen("ip -4 -o addr show up 2>/dev/null", "r");
  if (ip == nullptr) GTEST_SKIP() << "no ip command";
  std::set<std::string> expected;
  char line[512];
  bool any = false;
  while (std::fgets(line, sizeof line, ip) != nullptr) {
    any = true;
    std::string text = line;
    const std::size_t inet = text.find(" inet ");
    if (inet == std::string::npos) continue;
    std::string address = text.substr(inet + 6);
    address = address.substr(0, address.find('/'));
    if (address.rfind("127.", 0) != 0) expected.insert(address);
  }
  ::pclose(ip);
  if (!any) GTEST_SKIP() << "ip lists no addresses";
  const auto own = LocalHostIPv4Addresses();
  if (expected.empty())
    EXPECT_EQ(own, std::vector<std::string>{"127.0.0.1"});
  else
    EXPECT_EQ(std::set<std::string>(own.begin(), own.end()), expected);
}

}  // namespace
}  // namespace qorv::platform
