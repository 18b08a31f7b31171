// File size, times and attributes on real files in a private folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "platform/core/DateTime.h"
#include "platform/core/Streams.h"
#include "platform/system/Files.h"
#include "support/auUtils.h"

using namespace qorv;
namespace fs = std::filesystem;

namespace {

class FilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/var/tmp/qorv-utils-XXXXXX";  // a disk, not tmpfs, for extended attributes
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir_, ec))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  std::string Make(const std::string& name, const std::string& content) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  bool HasUserXattrs() {
    const std::string probe = Make("probe", "");
    const bool ok = setxattr(probe.c_str(), "user.qorv.probe", "1", 1, 0) == 0;
    unlink(probe.c_str());
    return ok;
  }
  std::string dir_;
};

}  // namespace

TEST_F(FilesTest, GetFileSize64) {
  EXPECT_EQ(GetFileSize64(dir_ + "/missing"), -1);
  EXPECT_EQ(GetFileSize64(Make("empty", "")), 0);
  EXPECT_EQ(GetFileSize64(Make("five", "12345")), 5);
  EXPECT_EQ(GetFileSize64(dir_), -1);  // a folder is no file
  // Beyond 32 bits: a sparse file of 5 GiB takes no space.
  const std::string big = dir_ + "/big";
  { std::ofstream(big, std::ios::binary); }
  if (truncate(big.c_str(), 5LL << 30) != 0) GTEST_SKIP() << "this file system refuses a 5 GiB sparse file";
  EXPECT_EQ(GetFileSize64(big), 5LL << 30);
}

TEST_F(FilesTest, SetFileTimesWritesTheLocalTimeAsUniversal) {
  // A zone eight hours ahead without daylight saving, so that the local time
  // and the universal one differ by the same amount at every date.
  const char* const oldZone = std::getenv("TZ");
  const std::string savedZone = oldZone ? oldZone : "";
  setenv("TZ", "CST-8", 1);
  tzset();
  const std::string path = Make("dated", "x");
  // 6 November 1994 08:49:36 local time (even seconds: DOS times have a
  // two-second resolution).
  const TDateTime local = platform::EncodeDate(1994, 11, 6) + platform::EncodeTime(8, 49, 36, 0);
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  const bool set = SetFileTimes(path, local, local, -1);
  if (oldZone)
    setenv("TZ", savedZone.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  ASSERT_TRUE(set);
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  std::tm tm{};
  tm.tm_year = 94;
  tm.tm_mon = 10;
  tm.tm_mday = 6;
  tm.tm_hour = 8;
  tm.tm_min = 49;
  tm.tm_sec = 36;
  EXPECT_EQ(after.st_mtime, timegm(&tm) - 8 * 3600);
  EXPECT_EQ(after.st_atime, before.st_atime);  // -1 keeps the access time
}

TEST_F(FilesTest, SetFileTimesKeepsEverythingWithMinusOneAndFailsOnMissingFile) {
  const std::string path = Make("kept", "x");
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  EXPECT_TRUE(SetFileTimes(path, -1, -1, -1));
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_mtime, before.st_mtime);
  EXPECT_FALSE(SetFileTimes(dir_ + "/missing", -1, -1, -1));
}

TEST_F(FilesTest, ApplyFileAttributesSurviveReopenAndEmptySetIsNormal) {
  if (!HasUserXattrs()) GTEST_SKIP() << "no user extended attributes on " << dir_;
  const std::string path = Make("attrs", "data");
  using A = TauFileAttribute;
  ASSERT_TRUE(ApplyFileAttributes(path, {A::atrHidden, A::atrArchive, A::atrTemporary}));
  EXPECT_EQ(platform::GetFileAttributes(path.c_str()),
            platform::FILE_ATTRIBUTE_HIDDEN | platform::FILE_ATTRIBUTE_ARCHIVE | platform::FILE_ATTRIBUTE_TEMPORARY);

  ASSERT_TRUE(ApplyFileAttributes(path, {A::atrReadOnly, A::atrOffline}));
  EXPECT_EQ(platform::GetFileAttributes(path.c_str()),
            platform::FILE_ATTRIBUTE_READONLY | platform::FILE_ATTRIBUTE_OFFLINE);
  if (geteuid() != 0) {  // root writes through the missing write bit
    std::ofstream out(path, std::ios::app);
    EXPECT_FALSE(out.is_open());
  }

  ASSERT_TRUE(ApplyFileAttributes(path, {}));
  EXPECT_EQ(platform::GetFileAttributes(path.c_str()), platform::FILE_ATTRIBUTE_NORMAL);
  std::ofstream out(path, std::ios::app);
  EXPECT_TRUE(out.is_open());
}

TEST_F(FilesTest, ApplyFileAttributesOnMissingFileFails) {
  EXPECT_FALSE(ApplyFileAttributes(dir_ + "/missing", {TauFileAttribute::atrArchive}));
}

TEST_F(FilesTest, FolderExistsAndTempFolder) {
  EXPECT_TRUE(FolderExists(dir_));
  EXPECT_FALSE(FolderExists(Make("plain", "")));
  EXPECT_FALSE(FolderExists(dir_ + "/missing"));
  std::string folder;
  GetTempFolder(folder);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(FolderExists(folder));
}

TEST_F(FilesTest, SaveResourceToStreamRefusesMissingResourceAndAbsentStream) {
  platform::TMemoryStream stream;
  EXPECT_FALSE(SaveResourceToStream("NO-SUCH-RESOURCE", "AUUPG", &stream));
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_FALSE(SaveResourceToStream("AUUPG", "AUUPG", nullptr));
}

namespace {

// A stream that takes only part of a write, and one that cannot grow.
class ShortStream : public platform::TMemoryStream {
public:
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    return platform::TMemoryStream::Write(Buffer, Count > 1 ? Count - 1 : Count);
  }
};
class FullStream : public platform::TMemoryStream {
public:
  std::int32_t Write(const void*, std::int32_t) override { throw std::bad_alloc(); }
};

}  // namespace

TEST_F(FilesTest, SaveResourceToStreamReportsAFailingStream) {
  ShortStream shortStream;
  FullStream fullStream;
  EXPECT_FALSE(SaveResourceToStream("AUUPG", "AUUPG", &shortStream));
  EXPECT_FALSE(SaveResourceToStream("AUUPG", "AUUPG", &fullStream));
}

TEST_F(FilesTest, SaveResourceToStreamWritesTheWholeResource) {
  platform::TMemoryStream stream;
  ASSERT_TRUE(SaveResourceToStream("AUUPG", "AUUPG", &stream));
  std::string expected(static_cast<std::size_t>(fs::file_size(QORV_TEST_AUUPG_FIXTURE)), '\0');
  std::ifstream(QORV_TEST_AUUPG_FIXTURE, std::ios::binary).read(expected.data(), static_cast<std::streamsize>(expected.size()));
  ASSERT_EQ(stream.Size(), static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), expected.size()), expected);
}
