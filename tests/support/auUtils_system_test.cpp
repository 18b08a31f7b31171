// The signal wait on the main loop, the online test and the browser lookup
// against registry contents of the test's own, and OpenURL starting a real
// program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/messages/Events.h"
#include "platform/messages/Messages.h"
#include "platform/messages/Windows.h"
#include "platform/system/Registry.h"
#include "support/auUtils.h"

using namespace qorv;
using namespace qorv::platform;
namespace fs = std::filesystem;

namespace {

// Ends a wait that did not end by itself, so a lost message fails the test
// instead of hanging it.
class Watchdog {
public:
  Watchdog(HANDLE& signal, std::chrono::milliseconds limit) : thread_([this, &signal, limit] {
      std::unique_lock lock(mutex_);
      if (!done_cv_.wait_for(lock, limit, [this] { return done_; })) {
        fired_ = true;
        SetSignal(signal);
      }
    }) {}
  ~Watchdog() { Stop(); }
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  bool Fired() const { return fired_; }

private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

class SupportSystemTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() { InitMessageLoop(); }
  void TearDown() override { ClearTestRegistry(); }
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WaitForFile(const std::string& path) {
  for (int i = 0; i < 200; ++i) {
    if (fs::exists(path) && fs::file_size(path) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

}  // namespace

TEST_F(SupportSystemTest, WaitForSignalEndsOnSetSignalFromAMessageHandler) {
  HANDLE signal = nullptr;
  int ticks = 0;
  HWND window = AllocateHWnd([&](TMessage& m) {
    if (m.Msg == WM_TIMER) {
      ++ticks;
      if (ticks == 3) SetSignal(signal);
    }
  });
  ASSERT_NE(window, nullptr);
  ASSERT_NE(SetTimer(window, 1, 20, nullptr), 0U);
  Watchdog watchdog(signal, std::chrono::seconds(5));
  WaitForSignal(signal, 0, true);
  watchdog.Stop();
  EXPECT_FALSE(watchdog.Fired());
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(signal, INVALID_HANDLE_VALUE);
  SetSignal(signal);  // after the wait: nothing to signal, nothing breaks
  EXPECT_EQ(signal, INVALID_HANDLE_VALUE);
  KillTimer(window, 1);
  DeallocateHWnd(window);
}

TEST_F(SupportSystemTest, WaitForSignalTimesOutWhenNothingArrives) {
  HANDLE signal = nullptr;
  SetSignal(signal);  // before any wait: does nothing
  const auto start = std::chrono::steady_clock::now();
  WaitForSignal(signal, 100, true);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
  EXPECT_EQ(signal, INVALID_HANDLE_VALUE);
}

TEST_F(SupportSystemTest, IsOnlineReadsTheDialUpStateFirst) {
  const std::string key = "HKLM\\System\\CurrentControlSet\\Services\\RemoteAccess";
  struct Row {
    const char* name;
    std::vector<TestRegistryEntry> contents;
    int expected;  // -1: the address test decides
  };
  const Row rows[] = {
      {"value 1", {{key, "Remote Connection", REG_DWORD, RegistryDword(1)}}, 1},
      {"value 0", {{key, "Remote Connection", REG_DWORD, RegistryDword(0)}}, 0},
      {"value 2", {{key, "Remote Connection", REG_BINARY, std::string("\x02", 1)}}, 0},
      {"first byte 1 of binary data", {{key, "Remote Connection", REG_BINARY, std::string("\x01\x07", 2)}}, 1},
      {"data longer than 4 bytes", {{key, "Remote Connection", REG_BINARY, std::string(8, '\x01')}}, -1},
      {"key without the value", {{key, "", REG_NONE, ""}}, -1},
      {"no key", {}, -1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    SetTestRegistry(r.contents);
    if (r.expected == -1)
      EXPECT_EQ(IsOnline(), HasNonLoopbackAddress());
    else
      EXPECT_EQ(IsOnline(), r.expected == 1);
  }
}

TEST_F(SupportSystemTest, GetAssociatedProgramWalksTheFileTypeKeys) {
  struct Row {
    const char* name;
    std::vector<TestRegistryEntry> contents;
    const char* ext;
    const char* expected;
  };
  const Row rows[] = {
      {"open command",
       {{"HKCR\\.html", "", REG_SZ, "htmlfile"},
        {"HKCR\\htmlfile\\shell\\open\\command", "", REG_SZ, R"("C:\Browser\browser.exe" -nohome "%1")"}},
       ".html",
       R"(C:\Browser\browser.exe)"},
      {"verb containing open, first in list order",
       {{"HKCR\\.html", "", REG_SZ, "htmlfile"},
        {"HKCR\\htmlfile\\shell\\print\\command", "", REG_SZ, "printer.exe %1"},
        {"HKCR\\htmlfile\\shell\\OpenNew\\command", "", REG_SZ, "first.exe -new %1"},
        {"HKCR\\htmlfile\\shell\\reopen\\command", "", REG_SZ, "second.exe %1"}},
       ".html",
       "first.exe"},
      {"no verb containing open: first verb with a command",
       {{"HKCR\\.html", "", REG_SZ, "htmlfile"},
        {"HKCR\\htmlfile\\shell\\view", "", REG_NONE, ""},
        {"HKCR\\htmlfile\\shell\\edit\\command", "", REG_SZ, "editor.exe /e %1"}},
       ".html",
       "editor.exe"},
      {"no file type", {{"HKCR\\.html", "", REG_NONE, ""}}, ".html", ""},
      {"file type key missing", {{"HKCR\\.html", "", REG_SZ, "htmlfile"}}, ".html", ""},
      {"command value not text",
       {{"HKCR\\.html", "", REG_SZ, "htmlfile"},
        {"HKCR\\htmlfile\\shell\\open\\command", "", REG_DWORD, RegistryDword(7)}},
       ".html",
       ""},
      {"empty extension", {{"HKCR\\", "", REG_SZ, "htmlfile"}}, "", ""},
      {"dot only", {{"HKCR\\.", "", REG_SZ, "htmlfile"}}, ".", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    SetTestRegistry(r.contents);
    EXPECT_EQ(GetAssociatedProgram(r.ext), r.expected);
  }
}

// The desktop backend: a default browser registered in an XDG data folder of
// the test's own.
TEST_F(SupportSystemTest, GetAssociatedProgramFromTheDesktopAssociations) {
  char pattern[] = "/tmp/qorv-xdg-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string root = pattern;
  fs::create_directories(root + "/data/applications");
  fs::create_directories(root + "/config");
  std::ofstream(root + "/data/applications/testbrowser.desktop")
      << "[Desktop Entry]\nType=Application\nName=Test Browser\n"
         "Exec=/opt/browser/bin/browser --new-window %U\nMimeType=text/html;\n";
  std::ofstream(root + "/config/mimeapps.list") << "[Default Applications]\ntext/html=testbrowser.desktop\n";
  setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  setenv("XDG_DATA_DIRS", (root + "/none").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", (root + "/none").c_str(), 1);
  ClearTestRegistry();
  EXPECT_EQ(GetAssociatedProgram(".html"), "/opt/browser/bin/browser");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_DATA_DIRS");
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_CONFIG_DIRS");
  fs::remove_all(root);
}

// A real program stands in for the browser and for xdg-open; each writes the
// arguments it got, one a line.
TEST_F(SupportSystemTest, OpenURLStartsTheBrowserWithTheURLAsOneArgument) {
  char pattern[] = "/tmp/qorv-open-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const std::string script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.out.tmp\"\n"
                             "mv \"$0.out.tmp\" \"$0.out\"\n";
  for (const char* name : {"/browser", "/xdg-open"}) {
    std::ofstream(dir + name) << script;
    chmod((dir + name).c_str(), 0700);
  }
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (dir + ":" + oldPath).c_str(), 1);

  SetTestRegistry({{"HKCR\\.html", "", REG_SZ, "testbrowser"},
                   {"HKCR\\testbrowser\\shell\\open\\command", "", REG_SZ, "\"" + dir + "/browser\" --new-window \"%1\""}});
  OpenURL(R"(portal.example/news?a=1 b" --evil \" c\)", true);
  ASSERT_TRUE(WaitForFile(dir + "/browser.out"));
  EXPECT_EQ(ReadAll(dir + "/browser.out"), R"(http://portal.example/news?a=1 b" --evil \" c\)" "\n");

  OpenURL("https://portal.example/", false);
  ASSERT_TRUE(WaitForFile(dir + "/xdg-open.out"));
  EXPECT_EQ(ReadAll(dir + "/xdg-open.out"), "https://portal.example/\n");

  // No registered browser: the address goes to the shell.
  fs::remove(dir + "/xdg-open.out");
  SetTestRegistry({});
  OpenURL("portal.example", true);
  ASSERT_TRUE(WaitForFile(dir + "/xdg-open.out"));
  EXPECT_EQ(ReadAll(dir + "/xdg-open.out"), "http://portal.example\n");

  setenv("PATH", oldPath.c_str(), 1);
  fs::remove_all(dir);
}

// Last in the binary: terminating is final for the process. A wait that is
// running ends when a message handler terminates the application, and a
// later wait returns at once.
TEST_F(SupportSystemTest, ZZWaitForSignalStopsWhenTheApplicationTerminates) {
  HANDLE signal = nullptr;
  HWND window = AllocateHWnd([](TMessage& m) {
    if (m.Msg == WM_TIMER) TerminateApplication();
  });
  ASSERT_NE(window, nullptr);
  ASSERT_NE(SetTimer(window, 1, 20, nullptr), 0U);
  {
    Watchdog watchdog(signal, std::chrono::seconds(5));
    WaitForSignal(signal, 0, true);
    watchdog.Stop();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(ApplicationTerminated());
    EXPECT_EQ(signal, INVALID_HANDLE_VALUE);
  }
  KillTimer(window, 1);
  DeallocateHWnd(window);

  signal = nullptr;
  Watchdog watchdog(signal, std::chrono::seconds(5));
  WaitForSignal(signal, 0, true);
  watchdog.Stop();
  EXPECT_FALSE(watchdog.Fired());
  EXPECT_EQ(signal, INVALID_HANDLE_VALUE);
}
