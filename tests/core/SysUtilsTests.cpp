#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <vector>

#include "platform/core/SysUtils.h"

namespace qorv::platform {
namespace {

TEST(FormatTest, SpecifiersTable) {
  struct Row {
    const char* fmt;
    std::vector<FormatArg> args;
    const char* expected;
  };
  const Row rows[] = {
      {"%s", {"abc"}, "abc"},
      {"Host %s unreachable.", {"'http://h'"}, "Host 'http://h' unreachable."},
      {"%d", {42}, "42"},
      {"%d", {-42}, "-42"},
      {"%d", {9000000000LL}, "9000000000"},
      {"%.2d", {5}, "05"},
      {"%.2d", {123}, "123"},
      {"%d:%.2d:%.2d", {1, 2, 3}, "1:02:03"},
      {"%5d|%-5d|", {12, 12}, "   12|12   |"},
      {"%u", {-1}, "4294967295"},
      {"%u", {7u}, "7"},
      {"%x", {255}, "FF"},
      {"%.4x", {255}, "00FF"},
      {"%.1f", {1.25}, "1.2"},
      {"%.1f", {1.35}, "1.4"},
      {"%f", {2.0}, "2.00"},
      {"%.0f", {2.5}, "2"},
      {"%.3f", {-0.0001}, "0.000"},
      {"File size: %.1f Kb", {10.25 * 4}, "File size: 41.0 Kb"},
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%.3e", {-0.00123}, "-1.23E-003"},
      {"%g", {0.5}, "0.5"},
      {"%g", {1e20}, "1E+020"},
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%8s|%-4s|", {"ab", "c"}, "      ab|c   |"},
      {"%.2s", {"abcdef"}, "ab"},
      {"%*d", {4, 7}, "   7"},
      {"%1:s %0:s", {"a", "b"}, "b a"},
      {"100%%", {}, "100%"},
      {"%%%s%%", {"x"}, "%x%"},
  };
  TFormatSettings c;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fmt);
    EXPECT_EQ(Format(row.fmt, std::span<const FormatArg>(row.args), c), row.expected);
  }
}

TEST(FormatTest, MismatchesAndMissingArgumentsRaise) {
  struct Row {
    const char* fmt;
    std::vector<FormatArg> args;
    const char* message;
  };
  const Row rows[] = {
      {"%d", {"x"}, "Format '%d' invalid or incompatible with argument"},
      {"%d", {1.5}, "Format '%d' invalid or incompatible with argument"},
      {"%f", {1}, "Format '%f' invalid or incompatible with argument"},
      {"%s", {3}, "Format '%s' invalid or incompatible with argument"},
      {"%q", {3}, "Format '%q' invalid or incompatible with argument"},
      {"abc %", {}, "Format 'abc %' invalid or incompatible with argument"},
      {"%s and %s", {"one"}, "No argument for format '%s and %s'"},
      {"%d", {}, "No argument for format '%d'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fmt);
    try {
      Format(row.fmt, std::span<const FormatArg>(row.args));
      ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), row.message);
    }
  }
}

// Makes the German locale available: the system's when installed, else one
// compiled with localedef into a private folder named by LOCPATH.
bool ensureGermanLocale() {
  static const bool available = [] {
    LocaleLookup found;
    FormatSettingsForLocale("de_DE.UTF-8", &found);
    if (found == LocaleLookup::Found) return true;
    if (std::system("command -v localedef >/dev/null 2>&1") != 0) return false;
    static std::string dir = "/tmp/qorv-core-locale-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    // The loaded locale stays in memory; its files can go at exit.
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    });
    std::string cmd = "localedef -c -i de_DE -f UTF-8 " + dir + "/de_DE.UTF-8 >/dev/null 2>&1";
    int rc = std::system(cmd.c_str());
    (void)rc;  // warnings give a non-zero code although the locale was made
    setenv("LOCPATH", dir.c_str(), 1);
    FormatSettingsForLocale("de_DE.UTF-8", &found);
    return found == LocaleLookup::Found;
  }();
  return available;
}

TEST(FormatTest, DecimalSeparatorFollowsTheLocale) {
  if (!ensureGermanLocale()) GTEST_SKIP() << "no de_DE locale and no localedef to make one";
  TFormatSettings de = FormatSettingsForLocale("de_DE.UTF-8");
  EXPECT_EQ(de.DecimalSeparator, ",");
  EXPECT_EQ(Format("Transfer rate: %.1f Kb/s", {12.34}, de), "Transfer rate: 12,3 Kb/s");
  EXPECT_EQ(Format("%.2d", {7}, de), "07");
  LocaleLookup found;
  EXPECT_EQ(FormatSettingsForLocale("xx_NONE.UTF-8", &found).DecimalSeparator, ".");
  EXPECT_EQ(found, LocaleLookup::NotFound);
}

TEST(FormatTest, DefaultSettingsComeFromLcNumericOfTheEnvironment) {
  if (!ensureGermanLocale()) GTEST_SKIP() << "no de_DE locale and no localedef to make one";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A fresh process, so that the settings are read from its environment.
  EXPECT_EXIT(
      {
        unsetenv("LC_ALL");
        setenv("LC_NUMERIC", "de_DE.UTF-8", 1);
        std::_Exit(Format("%.1f", {1.5}) == "1,5" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        unsetenv("LC_ALL");
        setenv("LC_NUMERIC", "C", 1);
        std::_Exit(Format("%.1f", {1.5}) == "1.5" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(StrToIntTest, Table) {
  struct Row {
    const char* text;
    bool valid;
    std::int32_t value;
  };
  const Row rows[] = {
      {"0", true, 0},
      {"123", true, 123},
      {"-123", true, -123},
      {"+7", true, 7},
      {"  42", true, 42},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"-2147483649", false, 0},
      {"$FF", true, 255},
      {"0x1f", true, 31},
      {"$FFFFFFFF", true, -1},
      {"$100000000", false, 0},
      {"-$10", true, -16},
      {"", false, 0},
      {" ", false, 0},
      {"-", false, 0},
      {"12 ", false, 0},
      {"1.0", false, 0},
      {"12a", false, 0},
      {"$", false, 0},
      {"1,000", false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    std::int32_t v = 99;
    EXPECT_EQ(TryStrToInt(row.text, v), row.valid);
    EXPECT_EQ(StrToIntDef(row.text, -5), row.valid ? row.value : -5);
    if (row.valid) {
      EXPECT_EQ(v, row.value);
      EXPECT_EQ(StrToInt(row.text), row.value);
    } else {
      try {
        StrToInt(row.text);
        ADD_FAILURE();
      } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), std::string("'") + row.text + "' is not a valid integer value");
      }
    }
  }
  EXPECT_EQ(StrToInt64("-9223372036854775808"), INT64_MIN);
  EXPECT_THROW(StrToInt64("9223372036854775808"), EConvertError);
}

TEST(StringRoutinesTest, TrimCaseAndSlices) {
  EXPECT_EQ(Trim(" \t\r\nabc \x01"), "abc");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a \n"), "  a");
  EXPECT_EQ(UpperCase("aBc\xC3\xA4"), "ABC\xC3\xA4");
  EXPECT_EQ(LowerCase("URL1"), "url1");
  EXPECT_TRUE(SameText("Version", "VERSION"));
  EXPECT_LT(CompareStr("B", "a"), 0);
  EXPECT_LT(CompareText("a", "B"), 0);
  EXPECT_EQ(Pos("#url=", "x#url=1"), 2u);
  EXPECT_EQ(Pos("z", "abc"), 0u);
  EXPECT_EQ(Pos("", "abc"), 0u);
  EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
  EXPECT_EQ(Copy("abcdef", 0, 2), "ab");
  EXPECT_EQ(Copy("abcdef", 5, 100), "ef");
  EXPECT_EQ(Copy("abcdef", 7, 1), "");
  EXPECT_EQ(Copy("abcdef", 2, -1), "");
  EXPECT_EQ(IntToStr(-17), "-17");
  EXPECT_EQ(IntToHex(0xAB, 4), "00AB");
}

TEST(StringRoutinesTest, FileNames) {
  EXPECT_EQ(ExtractFilePath("/opt/qorv/Qorv.exe"), "/opt/qorv/");
  EXPECT_EQ(ExtractFileName("/opt/qorv/Qorv.exe"), "Qorv.exe");
  EXPECT_EQ(ExtractFileExt("/opt/q.v/Qorv.exe.uTMP"), ".uTMP");
  EXPECT_EQ(ExtractFileExt("/opt/q.v/Qorv"), "");
  EXPECT_EQ(ChangeFileExt("/a/b.txt", ".bak"), "/a/b.bak");
  EXPECT_EQ(ExpandFileName("/a/./b/../c//d"), "/a/c/d");
  EXPECT_EQ(ExpandFileName("/a/b/"), "/a/b/");
  EXPECT_EQ(ExpandFileName("x"), IncludeTrailingPathDelimiter(std::filesystem::current_path().string()) + "x");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/tmp/"), "/tmp");
}

TEST(StringRoutinesTest, WideStringsRoundTripAndReplaceMalformedInput) {
  std::string text = "http://h\xC3\xA4st/ \xF0\x9F\x98\x80";
  WideString w = UTF8ToWide(text);
  EXPECT_EQ(w, u"http://h\u00E4st/ \U0001F600");
  EXPECT_EQ(WideToUTF8(w), text);
  EXPECT_EQ(UTF8ToWide("a\xFF" "b\xC3"), u"a\uFFFDb\uFFFD");
  EXPECT_EQ(UTF8ToWide("\xE0\x80\x80"), u"\uFFFD\uFFFD\uFFFD");
}

}  // namespace
}  // namespace qorv::platform

// The C library's newlocale keeps a copy of LOCPATH's search list that it
// never frees when LOCPATH is set, as the locale tests above set it; that
// allocation is the library's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }
