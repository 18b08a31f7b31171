// Versions, percentages, command lines and URL names: the pure helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "support/auUtils.h"

using namespace qorv;

TEST(CompareVersions, Table) {
  struct Row {
    const char* a;
    const char* b;
    int sign;
  };
  const Row rows[] = {
      {"1.0.0.10", "1.0.0.9", +1},  // numeric, not textual
      {"1.0.0.9", "1.0.0.10", -1},
      {"2.1", "2.1.0.0", 0},        // missing parts count as 0
      {"1.0.0.6", "1.0.0.6.9", 0},  // parts after the fourth are ignored
      {"1.0b", "1.0a", +1},         // a part that is no number: whole strings
      {"1.0", "1.0a", -1},          // the shorter string is the smaller
      {"1.0a", "1.0a", 0},
      {"10", "9", +1},
      {"", "0", -1},                // an empty part is no number: "" < "0"
      {"1.2.3.4", "1.2.3.5", -1},
      {"3", "2.99", +1},
      {"2147483648", "3", -1},      // beyond 32 bits: whole strings, "2" < "3"
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.a) + " vs " + r.b);
    const int got = CompareVersions(r.a, r.b);
    EXPECT_EQ((got > 0) - (got < 0), r.sign);
  }
}

TEST(SplitVersion, FillsMissingPartsWithZero) {
  std::string parts[4];
  SplitVersion("7.1", parts);
  EXPECT_EQ(parts[0], "7");
  EXPECT_EQ(parts[1], "1");
  EXPECT_EQ(parts[2], "0");
  EXPECT_EQ(parts[3], "0");
  SplitVersion("1.2.3.4.5", parts);
  EXPECT_EQ(parts[3], "4");
}

TEST(CalcPercent, RoundsHalfToEven) {
  struct Row {
    double total, done;
    int expected;
  };
  const Row rows[] = {
      {0, 0, 0},     {0, 5, 0},       {200, 1, 0},  {200, 3, 2},   {100, 100, 100},
      {3, 1, 33},    {3, 2, 67},      {200, 5, 2},  {200, 7, 4},   {1e12, 5e11, 50},
      {1, -1, 0},    {1, 1e9, 0},  // faults: out of a byte's range give 0
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.total) + " / " + std::to_string(r.done));
    EXPECT_EQ(CalcPercent(r.total, r.done), r.expected);
  }
}

TEST(SplitCommandLine, RegisteredCommandLines) {
  struct Row {
    const char* line;
    const char* command;
    const char* params;
  };
  const Row rows[] = {
      {R"("C:\Program Files\Browser\browser.exe" -nohome "%1")", R"(C:\Program Files\Browser\browser.exe)",
       "-nohome %1"},
      {R"(C:\PROGRA~1\Browser\browser.exe "%1")", R"(C:\PROGRA~1\Browser\browser.exe)", "%1"},
      {R"(C:\Browser\browser.exe -url %1)", R"(C:\Browser\browser.exe)", "-url %1"},
      {R"(rundll32.exe url.dll,FileProtocolHandler %1)", "rundll32.exe", "url.dll,FileProtocolHandler %1"},
      {R"(C:\Windows\System32\rundll32.exe url.dll,FileProtocolHandler %1)", R"(C:\Windows\System32\rundll32.exe)",
       "url.dll,FileProtocolHandler %1"},
      {R"(C:\Browser\browser.exe)", R"(C:\Browser\browser.exe)", ""},
      {R"(C:\Browser\browser.exe /dde)", R"(C:\Browser\browser.exe)", "/dde"},
      {R"("C:\Program Files\Browser\browser.exe")", R"(C:\Program Files\Browser\browser.exe)", ""},
      {R"(  "C:\x\b.exe"  --single-argument "%1"  )", R"(C:\x\b.exe)", "--single-argument %1"},
      // Command lines of Linux desktop entries, as the registry view gives them.
      {"/usr/bin/chromium %1", "/usr/bin/chromium", "%1"},
      {"/usr/lib/firefox-esr/firefox-esr %1", "/usr/lib/firefox-esr/firefox-esr", "%1"},
      {"/opt/browser/bin/browser --new-window %1", "/opt/browser/bin/browser", "--new-window %1"},
      {R"("/opt/My Browser/browser" "%1")", "/opt/My Browser/browser", "%1"},
      {"epiphany", "epiphany", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.line);
    std::string command = r.line, params = "unchanged";
    SplitCommandLine(command, params);
    EXPECT_EQ(command, r.command);
    EXPECT_EQ(params, r.params);
  }
}

TEST(SplitCommandLine, EmptyCommandLeavesParams) {
  std::string command = " \t ", params = "kept";
  SplitCommandLine(command, params);
  EXPECT_EQ(command, "");
  EXPECT_EQ(params, "kept");
}

TEST(URLToFileName, Table) {
  struct Row {
    const char* url;
    const char* name;
  };
  const Row rows[] = {
      {"http://portal.example/files/app.exe", "app.exe"},
      {"http://portal.example/files/", ""},
      {"http://portal.example", "portal.example"},
      {"http://portal.example/get.cgi?file=a.exe", "get.cgi?file=a.exe"},
      {"http://portal.example/q?path=a/b.dll", "b.dll"},  // "/" in the query splits too
      {"ftp:file.zip", "file.zip"},
      {"plain.txt", "plain.txt"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.url);
    std::string name = "old";
    URLToFileName(r.url, name);
    EXPECT_EQ(name, r.name);
  }
}

TEST(InitSizedRecord, ZeroFillsAndStoresSize) {
  unsigned char rec[60];
  std::memset(rec, 0xAB, sizeof rec);
  InitSizedRecord(rec, 60);
  std::uint32_t size = 0;
  std::memcpy(&size, rec, 4);
  EXPECT_EQ(size, 60U);
  for (int i = 4; i < 60; ++i) ASSERT_EQ(rec[i], 0) << i;
}

TEST(FileAttributeBits, MapsEachMember) {
  EXPECT_EQ(FileAttributeBits({}), 0U);
  EXPECT_EQ(FileAttributeBits({TauFileAttribute::atrArchive}), 0x20U);
  EXPECT_EQ(FileAttributeBits({TauFileAttribute::atrHidden, TauFileAttribute::atrReadOnly}), 0x03U);
  EXPECT_EQ(FileAttributeBits({TauFileAttribute::atrSystem, TauFileAttribute::atrTemporary,
                               TauFileAttribute::atrOffline}),
            0x1104U);
  EXPECT_EQ(TauFileAttributes::fromByte(0x3F).toByte(), 0x3F);
}
