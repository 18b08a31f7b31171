// qorv-fetch as a black box: a real process against the scripted server.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/servers/ServerProcess.h"

namespace {

using qorv::testing::ServerProcess;

struct Result {
  int exitCode = -1;
  std::vector<std::string> lines;
};

// Runs the tool, bounded by timeout(1), and collects its stdout lines.
Result Fetch(const std::string& args) {
  Result result;
  const std::string command = "timeout 30 " QORV_FETCH_PATH " " + args + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::string line;
  for (int c; (c = std::fgetc(pipe)) != EOF;) {
    if (c == '\n') {
      result.lines.push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(c));
    }
  }
  const int status = pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The event names in order, status notifications and repeated progress
// lines left out.
std::vector<std::string> Names(const Result& result) {
  std::vector<std::string> names;
  for (const std::string& line : result.lines) {
    const std::string name = line.substr(0, line.find(' '));
    if (name == "OnStatusChange" || name == "OnRedirect") continue;
    if (!names.empty() && names.back() == name) continue;
    names.push_back(name);
  }
  return names;
}

TEST(FetchTool, LinesAndExitCodes) {
  ServerProcess server;
  ASSERT_TRUE(server.ok()) << server.error();
  const int refused = qorv::testing::FreeLoopbackPort();
  struct Row {
    std::string args;
    std::vector<std::string> names;
    int exitCode;
  };
  const Row rows[] = {
      {server.url("/ok/10000") + " --block-size 4096",
       {"OnHeadersReceived", "OnDownloadProgress", "OnDone"}, 0},
      {server.url("/status/404"), {"OnHeadersReceived", "OnDownloadProgress", "OnHTTPError", "OnTransferFailed"}, 1},
      {"http://127.0.0.1:" + std::to_string(refused) + "/", {"OnNoResponse", "OnTransferFailed"}, 1},
      // The login goes with the first request already.
      {"-u user -p secret " + server.url("/auth"), {"OnHeadersReceived", "OnDownloadProgress", "OnDone"}, 0},
      {"-u user -p wrong " + server.url("/auth"),
       {"OnAuthenticationRequest", "OnHeadersReceived", "OnDownloadProgress", "OnHTTPError", "OnTransferFailed"}, 1},
      {"--no-such-option x", {}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    const Result result = Fetch(row.args);
    EXPECT_EQ(result.exitCode, row.exitCode);
    EXPECT_EQ(Names(result), row.names);
  }
  const Result ok = Fetch(server.url("/ok/10000") + " --block-size 4096");
  ASSERT_FALSE(ok.lines.empty());
  EXPECT_EQ(ok.lines.back(), "OnDone \"application/octet-stream\" 10000");
  int progress = 0;
  for (const std::string& line : ok.lines) progress += line.rfind("OnDownloadProgress 10000 ", 0) == 0;
  EXPECT_GE(progress, 3) << "10000 bytes in blocks of 4096";
}

TEST(FetchTool, WritesTheOutputFile) {
  ServerProcess server;
  ASSERT_TRUE(server.ok()) << server.error();
  qorv::testing::TempDir dir;
  const std::string file = dir.file("fetched.bin");
  const Result result = Fetch("-o " + file + " " + server.url("/ok/5000"));
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(std::filesystem::file_size(file), 5000U);
}

}  // namespace
