// Helpers for the message-layer tests: a watchdog that turns a lost message
// into a failure instead of a hang, and a main-thread pump that waits the
// way the modules do (MsgWaitForMultipleObjects, then ProcessMessages).
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/messages/Events.h"
#include "platform/messages/Messages.h"
#include "platform/messages/Threads.h"
#include "platform/messages/Windows.h"

namespace qorv::platform::testing {

// Armed for the life of a test. When it expires it records a failure and
// signals Event(), which every wait of the test includes; if the test is
// still stuck a few seconds later, the process aborts.
class Watchdog {
public:
  explicit Watchdog(std::chrono::seconds limit = std::chrono::seconds(10))
      : event_(CreateEvent(nullptr, 1, 0)), thread_([this, limit] { Run(limit); }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      disarmed_ = true;
    }
    wake_.notify_all();
    thread_.join();
    CloseHandle(event_);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  HANDLE Event() const { return event_; }
  bool Expired() const { return expired_.load(); }

private:
  void Run(std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    if (wake_.wait_for(lock, limit, [this] { return disarmed_; })) return;
    expired_.store(true);
    ADD_FAILURE() << "watchdog expired: a message or signal was lost";
    SetEvent(event_);
    TerminateApplication();
    if (wake_.wait_for(lock, std::chrono::seconds(5), [this] { return disarmed_; })) return;
    std::fprintf(stderr, "watchdog: test still stuck, aborting\n");
    std::abort();
  }

  HANDLE event_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool disarmed_ = false;
  std::atomic<bool> expired_{false};
  std::thread thread_;
};

// Pumps the main thread until done() holds or the watchdog expires; false
// on expiry.
template <class Done>
bool PumpUntil(Watchdog& watchdog, Done done) {
  HANDLE event = watchdog.Event();
  while (!done()) {
    if (watchdog.Expired()) return false;
    MsgWaitForMultipleObjects(1, &event, 0, 50, QS_ALLINPUT);
    ProcessMessages();
  }
  return true;
}

// Pumps for a while regardless, to give messages that must not arrive a
// chance to arrive.
inline void PumpFor(std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) {
    MsgWaitForMultipleObjects(0, nullptr, 0, 10, QS_ALLINPUT);
    ProcessMessages();
  }
}

// Counts threads whose body is still on the stack; the destructor runs when
// the body unwinds or returns, so a count back at 0 means the thread is
// really gone from our code.
struct LiveGuard {
  explicit LiveGuard(std::atomic<int>& count) : count_(count) { ++count_; }
  ~LiveGuard() { --count_; }
  LiveGuard(const LiveGuard&) = delete;
  LiveGuard& operator=(const LiveGuard&) = delete;
  std::atomic<int>& count_;
};

// CreateThread with a callable body; the body is freed by the thread.
inline HANDLE StartThread(std::function<DWORD()> body, DWORD flags = 0, DWORD* id = nullptr) {
  auto* owned = new std::function<DWORD()>(std::move(body));
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* parameter) -> DWORD {
        std::unique_ptr<std::function<DWORD()>> run(static_cast<std::function<DWORD()>*>(parameter));
        return (*run)();
      },
      owned, flags, id);
  if (thread == nullptr) delete owned;
  return thread;
}

// Waits (bounded) until count drops to 0.
inline bool WaitForZero(const std::atomic<int>& count, std::chrono::seconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (count.load() != 0) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class MessageTest : public ::testing::Test {
protected:
  void SetUp() override { InitMessageLoop(); }
};

}  // namespace qorv::platform::testing
