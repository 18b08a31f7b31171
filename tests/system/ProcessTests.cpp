#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "platform/system/Files.h"
#include "platform/system/Process.h"

extern char** environ;

namespace qorv::platform {
namespace {

using test::readText;
using test::TempFolder;
using test::writeText;

// Waits, at most five seconds, for a started program to leave its file.
std::string waitForFile(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string text = readText(path);
    if (!text.empty() && text.back() == '\n') return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return readText(path);
}

void writeScript(const std::string& path, const std::string& body) {
  writeText(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
}

TEST(Process, WinExecStartsARealProgram) {
  TempFolder dir;
  const std::string out = dir / "out.txt";
  const std::string line = "/bin/sh -c \"echo started > '" + out + "'\"";
  EXPECT_GT(WinExec(line.c_str(), SW_SHOWNORMAL), 31U);
  EXPECT_EQ(waitForFile(out), "started\n");
}

TEST(Process, WinExecPassesWordsByTheWordRules) {
  TempFolder dir;
  ASSERT_TRUE(CreateDirectory((dir / "my folder").c_str(), nullptr));
  const std::string script = dir / "my folder/print args.sh";
  const std::string out = dir / "args.txt";
  writeScript(script, "printf '%s|' \"$@\" > '" + out + "'\necho >> '" + out + "'\n");
  const std::string line = "\"" + script + "\" plain \"two words\" a\\\"b \"\"";
  ASSERT_GT(WinExec(line.c_str(), SW_SHOWNORMAL), 31U);
  EXPECT_EQ(waitForFile(out), "plain|two words|a\"b||\n");
}

TEST(Process, QuotedWordsReadBackWhole) {
  const char* const words[] = {"plain", "two words", "", "say \"hi\"", "trailing\\", "back\\\"slash",
                               "http://h/?a=1 b\" --evil", "tab\there", "\\\\server\\share\\"};
  for (const char* word : words) {
    SCOPED_TRACE(word);
    for (QuoteMode mode : {QuoteMode::WhenNeeded, QuoteMode::Always}) {
      const std::string line = "x " + QuoteCommandLineWord(word, mode) + " y";
      EXPECT_EQ(SplitParameterWords(line), (std::vector<std::string>{"x", word, "y"}));
    }
  }
  EXPECT_EQ(QuoteCommandLineWord("plain"), "plain");
  EXPECT_EQ(QuoteCommandLineWord("plain", QuoteMode::Always), "\"plain\"");
}

TEST(Process, WinExecReportsMissingPrograms) {
  TempFolder dir;
  struct Row {
    std::string line;
    DWORD result;
  };
  writeText(dir / "not-executable", "data");
  const Row rows[] = {
      {dir / "missing-program", ERROR_FILE_NOT_FOUND},
      {dir / "missing-folder/program arg", ERROR_PATH_NOT_FOUND},
      {"qorv-no-such-program-on-path", ERROR_FILE_NOT_FOUND},
      {dir / "not-executable", ERROR_ACCESS_DENIED},
      {"", ERROR_FILE_NOT_FOUND},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const DWORD result = WinExec(row.line.c_str(), SW_SHOWNORMAL);
    EXPECT_EQ(result == 0 ? GetLastError() : result, row.result);
    EXPECT_LE(result, 31U);
  }
}

TEST(Process, ShellExecuteStartsAProgramWithParametersInAFolder) {
  TempFolder dir;
  const std::string script = dir / "where.sh";
  // Written aside and renamed, so the reader never sees half of it.
  writeScript(script, "{ pwd; echo \"$1\"; } > \"$2.tmp\" && mv \"$2.tmp\" \"$2\"\n");
  const std::string out = dir / "where.txt";
  const std::string params = "\"first word\" \"" + out + "\"";
  ASSERT_TRUE(CreateDirectory((dir / "work").c_str(), nullptr));
  EXPECT_GT(ShellExecute(nullptr, "open", script.c_str(), params.c_str(), (dir / "work").c_str(), SW_SHOWNORMAL), 32);
  EXPECT_EQ(waitForFile(out), dir / "work\nfirst word\n");
  EXPECT_EQ(ShellExecute(nullptr, "print", script.c_str(), nullptr, nullptr, SW_SHOWNORMAL), SE_ERR_NOASSOC);
  EXPECT_EQ(ShellExecute(nullptr, "open", (dir / "missing").c_str(), "x", nullptr, SW_SHOWNORMAL), SE_ERR_FNF);
}

TEST(Process, RunningExecutableCannotBeOpenedForWriting) {
  TempFolder dir;
  const std::string copy = dir / "sleeper";
  {
    const std::string body = readText("/bin/sleep");
    ASSERT_FALSE(body.empty());
    writeText(copy, body);
  }
  ASSERT_EQ(::chmod(copy.c_str(), 0755), 0);
  pid_t pid = 0;
  char arg0[] = "sleeper";
  char arg1[] = "30";
  char* argv[] = {arg0, arg1, nullptr};
  ASSERT_EQ(posix_spawn(&pid, copy.c_str(), nullptr, nullptr, argv, environ), 0);

  EXPECT_EQ(CreateFile(copy.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  // Reading is allowed while it runs.
  HANDLE reader = CreateFile(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  CloseHandle(reader);

  ::kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  HANDLE h = CreateFile(copy.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
}

TEST(Process, ProgramArgumentsAndModuleName) {
  const char* argv[] = {"Qorv", "/afterupgrade", "a b", nullptr};
  SetProgramArguments(3, argv);
  EXPECT_EQ(ParamCount(), 2);
  EXPECT_EQ(ParamStr(1), "/afterupgrade");
  EXPECT_EQ(ParamStr(2), "a b");
  EXPECT_EQ(ParamStr(3), "");
  EXPECT_EQ(ParamStr(-1), "");
  const std::string exe = GetModuleFileName();
  EXPECT_EQ(ParamStr(0), exe);
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.front(), '/');
  EXPECT_NE(exe.find("system_tests"), std::string::npos);
  char small[4] = {};
  EXPECT_EQ(GetModuleFileName(nullptr, small, sizeof small), 4U);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::string(small), exe.substr(0, 3));
}

}  // namespace
}  // namespace qorv::platform
