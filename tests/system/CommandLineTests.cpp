#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/system/CommandLine.h"
#include "platform/system/Process.h"

extern "C" int qorv_test_split_joined(const char* line, char* out, std::size_t out_size);

namespace qorv::platform {
namespace {

std::string joined(const std::vector<std::string>& words) {
  std::string out;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out.push_back('|');
    out += words[i];
  }
  return out;
}

struct SplitCase {
  const char* line;
  const char* words;  // joined with "|"
  int count;
};

// Word rules of the original system, including its backslash-quote rules
// and the command lines registered by browsers.
const SplitCase kSplitCases[] = {
    {"", "", 0},
    {"   \t ", "", 0},
    {"prog", "prog", 1},
    {"  prog  a   b ", "prog|a|b", 3},
    {"prog \"a b\" c", "prog|a b|c", 3},
    {"prog a\"b c\"d", "prog|ab cd", 2},
    {"prog \"\"", "prog|", 2},
    {"prog \"\" x", "prog||x", 3},
    {"prog a\\\\b", "prog|a\\\\b", 2},
    {"prog a\\\"b", "prog|a\"b", 2},
    {"prog a\\\\\"b c\"", "prog|a\\b c", 2},
    {"prog a\\\\\\\"b", "prog|a\\\"b", 2},
    {"prog \"a \"\" b\"", "prog|a \" b", 2},
    {"prog \"C:\\dir\\\\\" x", "prog|C:\\dir\\|x", 3},
    {"\"C:\\Program Files\\App\\app.exe\" -x", "C:\\Program Files\\App\\app.exe|-x", 2},
    // Backslashes in the program word are never special.
    {"C:\\Temp\\\"Up grader\".exe a", "C:\\Temp\\Up grader.exe|a", 2},
    {"/tmp/Upgrader3.exe /opt/Qorv/Qorv +/afterupgrade0", "/tmp/Upgrader3.exe|/opt/Qorv/Qorv|+/afterupgrade0", 3},
    {"\"/usr/lib/firefox/firefox\" -osint -url \"%1\"", "/usr/lib/firefox/firefox|-osint|-url|%1", 4},
    {"\"/opt/My Browser/browser\" --new-window \"%1\"", "/opt/My Browser/browser|--new-window|%1", 3},
    {"/usr/bin/chromium --incognito \"%1\"", "/usr/bin/chromium|--incognito|%1", 3},
    {"rundll32.exe url.dll,FileProtocolHandler %1", "rundll32.exe|url.dll,FileProtocolHandler|%1", 3},
};

TEST(CommandLine, SplitsByTheWordRules) {
  for (const SplitCase& row : kSplitCases) {
    SCOPED_TRACE(std::string("line: [") + row.line + "]");
    const std::vector<std::string> words = SplitCommandLineWords(row.line);
    EXPECT_EQ(static_cast<int>(words.size()), row.count);
    EXPECT_EQ(joined(words), row.words);
    // The same header compiled as C gives the same words.
    char out[1024];
    EXPECT_EQ(qorv_test_split_joined(row.line, out, sizeof out), row.count);
    EXPECT_EQ(std::string(out), row.words);
  }
}

TEST(CommandLine, ReportsBuffersThatAreTooSmall) {
  char storage[8];
  char* words[2];
  // Storage too small for the text, and too few word slots.
  EXPECT_EQ(qorv_split_command_line("program-name-longer", storage, sizeof storage, words, 2), -1);
  EXPECT_EQ(qorv_split_command_line("a b c", storage, sizeof storage, words, 2), -1);
  // strlen + 1 bytes are always enough.
  const char* line = "ab \"\" c";
  char exact[8];
  char* slots[4];
  EXPECT_EQ(qorv_split_command_line(line, exact, sizeof exact, slots, 4), 3);
}

TEST(CommandLine, SplitsParametersWithoutProgramWord) {
  EXPECT_EQ(joined(SplitParameterWords("-nohome \"%1\"")), "-nohome|%1");
  EXPECT_EQ(joined(SplitParameterWords("\"a b\\\"c\"")), "a b\"c");
  EXPECT_TRUE(SplitParameterWords("  ").empty());
}

}  // namespace
}  // namespace qorv::platform
