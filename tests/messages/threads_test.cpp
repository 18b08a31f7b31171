// Threads, cooperative suspend and kill, priorities, events and waits.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace qorv::platform::testing {
namespace {

using ThreadTest = MessageTest;

TEST_F(ThreadTest, SuspendedThreadRunsOnlyAfterResumeAndCountsArePrevious) {
  Watchdog watchdog;
  std::atomic<int> ran{0};
  DWORD id = 0;
  HANDLE thread = StartThread([&] { ++ran; return DWORD{42}; }, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());

  // Give a thread that wrongly started time to show it.
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  EXPECT_EQ(ran.load(), 0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  struct Step {
    const char* call;
    DWORD expectedPrevious;
  };
  const Step steps[] = {{"suspend", 1}, {"resume", 2}, {"resume", 1}, {"resume", 0}};
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(step.call) + " expecting " + std::to_string(step.expectedPrevious));
    const DWORD previous =
        std::string(step.call) == "suspend" ? SuspendThread(thread) : ResumeThread(thread);
    EXPECT_EQ(previous, step.expectedPrevious);
  }
  HANDLE waits[] = {thread, watchdog.Event()};
  ASSERT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(ran.load(), 1);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_TRUE(CloseHandle(thread));
}

TEST_F(ThreadTest, SuspendStopsARunningThreadAtItsNextCallIntoTheLayer) {
  Watchdog watchdog;
  std::atomic<int> loops{0};
  std::atomic<bool> stop{false};
  HANDLE thread = StartThread([&] {
    while (!stop.load()) {
      KillCheckpoint();
      ++loops;
      Sleep(1);
    }
    return DWORD{0};
  });
  ASSERT_TRUE(PumpUntil(watchdog, [&] { return loops.load() > 3; }));
  EXPECT_EQ(SuspendThread(thread), 0u);
  // The thread may finish the round it is in; after that it stays put.
  Sleep(50);
  const int parked = loops.load();
  Sleep(100);
  EXPECT_EQ(loops.load(), parked);
  EXPECT_EQ(ResumeThread(thread), 1u);
  ASSERT_TRUE(PumpUntil(watchdog, [&] { return loops.load() > parked + 3; }));
  stop.store(true);
  HANDLE waits[] = {thread, watchdog.Event()};
  EXPECT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
}

// How the victim is blocked when it is killed.
enum class Blocked { Checkpoint, Sleep, EventWait, MessageWait, SendToMain };

TEST_F(ThreadTest, KillReturnsAtOnceSignalsTheHandleAndEndsTheThread) {
  Watchdog watchdog;
  std::atomic<int> delivered{0};
  HWND window = AllocateHWnd([&](TMessage& message) {
    if (message.Msg == WM_USER) ++delivered;
  });
  ASSERT_NE(window, nullptr);
  HANDLE never = CreateEvent(nullptr, 1, 0);

  struct Case {
    const char* name;
    Blocked how;
  };
  const Case cases[] = {{"checkpoint loop", Blocked::Checkpoint},
                        {"sleep", Blocked::Sleep},
                        {"event wait", Blocked::EventWait},
                        {"message wait", Blocked::MessageWait},
                        {"send loop to main", Blocked::SendToMain}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<int> live{0};
    std::atomic<bool> started{false};
    std::atomic<bool> unwoundByKill{false};
    delivered.store(0);
    HANDLE thread = StartThread([&, how = c.how]() -> DWORD {
      LiveGuard guard(live);
      started.store(true);
      try {
        switch (how) {
          case Blocked::Checkpoint:
            for (;;) KillCheckpoint();
          case Blocked::Sleep:
            Sleep(INFINITE);
            break;
          case Blocked::EventWait:
            WaitForSingleObject(never, INFINITE);
            break;
          case Blocked::MessageWait:
            MsgWaitForMultipleObjects(1, &never, 0, INFINITE, QS_ALLINPUT);
            break;
          case Blocked::SendToMain:
            for (;;) SendMessage(window, WM_USER, 0, 0);
        }
      } catch (const ThreadKilled&) {
        unwoundByKill.store(true);
        throw;
      }
      return 1;
    });
    ASSERT_NE(thread, nullptr);
    ASSERT_TRUE(PumpUntil(watchdog, [&] {
      return started.load() && (c.how != Blocked::SendToMain || delivered.load() >= 3);
    }));
    if (c.how != Blocked::SendToMain) Sleep(20);  // let it get into the wait

    ASSERT_TRUE(TerminateThread(thread, 77));
    // No pumping in between: the handle is signalled by the kill itself.
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 77u);
    const int deliveredAtKill = delivered.load();

    EXPECT_TRUE(WaitForZero(live));
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(unwoundByKill.load());
    EXPECT_EQ(delivered.load(), deliveredAtKill) << "a send after the kill was delivered";
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 77u) << "the unwinding must not change the exit code";
    CloseHandle(thread);
  }
  CloseHandle(never);
  DeallocateHWnd(window);
}

TEST_F(ThreadTest, KilledThreadsEventsNeverFireAndItsSendsAreDropped) {
  Watchdog watchdog;
  std::atomic<int> delivered{0};
  HWND window = AllocateHWnd([&](TMessage& message) {
    if (message.Msg == WM_USER) ++delivered;
  });
  HANDLE event = CreateEvent(nullptr, 1, 0);
  std::atomic<bool> killed{false};
  std::atomic<int> live{0};
  std::atomic<BOOL> setResult{-1};
  std::atomic<bool> sendThrew{false};
  std::atomic<bool> sawKilled{false};
  std::atomic<bool> started{false};
  HANDLE thread = StartThread([&]() -> DWORD {
    LiveGuard guard(live);
    started.store(true);
    // Busy outside the layer, so the kill cannot unwind it here.
    while (!killed.load()) std::this_thread::yield();
    sawKilled.store(CurrentThreadKilled());
    setResult.store(SetEvent(event));
    try {
      SendMessage(window, WM_USER, 0, 0);
    } catch (const ThreadKilled&) {
      sendThrew.store(true);
      throw;
    }
    return 0;
  });
  // A thread killed before it ever ran would not run at all.
  ASSERT_TRUE(PumpUntil(watchdog, [&] { return started.load(); }));
  ASSERT_TRUE(TerminateThread(thread, 5));
  killed.store(true);
  ASSERT_TRUE(WaitForZero(live));
  PumpFor(std::chrono::milliseconds(30));
  EXPECT_TRUE(sawKilled.load());
  EXPECT_EQ(setResult.load(), 0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(sendThrew.load());
  EXPECT_EQ(delivered.load(), 0);
  CloseHandle(thread);
  CloseHandle(event);
  DeallocateHWnd(window);
}

TEST_F(ThreadTest, KillListenersRunOnTheKillingThreadAndWakeABlockedCall) {
  Watchdog watchdog;
  std::mutex mutex;
  std::condition_variable outsideWake;
  bool woken = false;
  std::atomic<DWORD> listenerThread{0};
  std::atomic<int> removedRan{0};
  std::atomic<bool> registered{false};
  std::atomic<bool> unwound{false};
  std::atomic<int> live{0};
  HANDLE thread = StartThread([&]() -> DWORD {
    LiveGuard guard(live);
    const int removed = AddKillListener([&] { ++removedRan; });
    RemoveKillListener(removed);
    AddKillListener([&] {
      listenerThread.store(GetCurrentThreadId());
      std::lock_guard lock(mutex);
      woken = true;
      outsideWake.notify_all();
    });
    registered.store(true);
    {
      // Blocked outside the layer, as a network wait would be.
      std::unique_lock lock(mutex);
      outsideWake.wait(lock, [&] { return woken; });
    }
    try {
      KillCheckpoint();
    } catch (const ThreadKilled&) {
      unwound.store(true);
      throw;
    }
    return 0;
  });
  ASSERT_TRUE(PumpUntil(watchdog, [&] { return registered.load(); }));
  ASSERT_TRUE(TerminateThread(thread, 0));
  EXPECT_EQ(listenerThread.load(), GetCurrentThreadId());
  EXPECT_TRUE(WaitForZero(live));
  EXPECT_TRUE(unwound.load());
  EXPECT_EQ(removedRan.load(), 0);
  CloseHandle(thread);
}

TEST_F(ThreadTest, KillingTheCallingThreadUnwindsItAtOnce) {
  Watchdog watchdog;
  std::atomic<HANDLE> self{nullptr};
  std::atomic<bool> afterKill{false};
  std::atomic<bool> caught{false};
  HANDLE gate = CreateEvent(nullptr, 1, 0);
  std::atomic<int> live{0};
  HANDLE thread = StartThread([&]() -> DWORD {
    LiveGuard guard(live);
    WaitForSingleObject(gate, INFINITE);
    try {
      TerminateThread(self.load(), 9);
      afterKill.store(true);
    } catch (...) {
      caught.store(IsThreadKilledException(std::current_exception()));
      throw;
    }
    return 0;
  });
  self.store(thread);
  SetEvent(gate);
  HANDLE waits[] = {thread, watchdog.Event()};
  ASSERT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  // The handle is signalled by the kill, before the thread has unwound.
  ASSERT_TRUE(WaitForZero(live));
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 9u);
  EXPECT_FALSE(afterKill.load());
  EXPECT_TRUE(caught.load());
  CloseHandle(thread);
  CloseHandle(gate);
}

TEST_F(ThreadTest, ThreadKilledIsNotAStandardExceptionAndIsRecognised) {
  struct Case {
    const char* name;
    std::exception_ptr error;
    bool killed;
  };
  const Case cases[] = {{"ThreadKilled", std::make_exception_ptr(ThreadKilled{}), true},
                        {"runtime_error", std::make_exception_ptr(std::runtime_error("x")), false},
                        {"int", std::make_exception_ptr(3), false},
                        {"none", nullptr, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsThreadKilledException(c.error), c.killed);
  }
  bool passedStdHandler = false;
  try {
    try {
      throw ThreadKilled{};
    } catch (const std::exception&) {
    }
  } catch (const ThreadKilled&) {
    passedStdHandler = true;
  }
  EXPECT_TRUE(passedStdHandler);
}

TEST_F(ThreadTest, ExceptionLeavingTheEntryEndsTheThreadWithItsOwnExitCode) {
  Watchdog watchdog;
  HANDLE thread = StartThread([]() -> DWORD { throw std::runtime_error("boom"); });
  HANDLE waits[] = {thread, watchdog.Event()};
  ASSERT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, THREAD_EXIT_UNHANDLED_EXCEPTION);
  CloseHandle(thread);
}

TEST_F(ThreadTest, ClosingTheHandleOfARunningThreadDetachesIt) {
  Watchdog watchdog;
  HANDLE go = CreateEvent(nullptr, 1, 0);
  HANDLE done = CreateEvent(nullptr, 1, 0);
  std::atomic<int> live{0};
  HANDLE thread = StartThread([&]() -> DWORD {
    LiveGuard guard(live);
    WaitForSingleObject(go, INFINITE);
    SetEvent(done);
    return 0;
  });
  EXPECT_TRUE(CloseHandle(thread));
  SetEvent(go);
  HANDLE waits[] = {done, watchdog.Event()};
  EXPECT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(WaitForZero(live));
  CloseHandle(go);
  CloseHandle(done);
}

TEST_F(ThreadTest, PrioritiesReadBackAsSet) {
  HANDLE thread = StartThread([] { return DWORD{0}; }, CREATE_SUSPENDED);
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
  const int values[] = {-15, -2, -1, 0, 1, 2, 15, 3, -7};
  for (int value : values) {
    SCOPED_TRACE(value);
    EXPECT_TRUE(SetThreadPriority(thread, value));
    EXPECT_EQ(GetThreadPriority(thread), value);
  }
  HANDLE event = CreateEvent(nullptr, 0, 0);
  EXPECT_EQ(GetThreadPriority(event), THREAD_PRIORITY_ERROR_RETURN);
  EXPECT_FALSE(SetThreadPriority(event, 1));
  ResumeThread(thread);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
  CloseHandle(event);
}

TEST_F(ThreadTest, EventWaitsWithTimeouts) {
  struct Case {
    const char* name;
    BOOL manual;
    BOOL initial;
    bool resetFirst;
    DWORD firstWait;
    DWORD secondWait;
  };
  const Case cases[] = {
      {"manual set stays set", 1, 1, false, WAIT_OBJECT_0, WAIT_OBJECT_0},
      {"auto set releases one wait", 0, 1, false, WAIT_OBJECT_0, WAIT_TIMEOUT},
      {"manual unset times out", 1, 0, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {"auto unset times out", 0, 0, false, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {"manual set then reset", 1, 1, true, WAIT_TIMEOUT, WAIT_TIMEOUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HANDLE event = CreateEvent(nullptr, c.manual, c.initial);
    ASSERT_NE(event, nullptr);
    if (c.resetFirst) {
      EXPECT_TRUE(ResetEvent(event));
    }
    EXPECT_EQ(WaitForSingleObject(event, 20), c.firstWait);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.secondWait);
    CloseHandle(event);
  }
}

TEST_F(ThreadTest, EventSetByAnotherThreadEndsAWait) {
  Watchdog watchdog;
  HANDLE event = CreateEvent(nullptr, 0, 0);
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SetEvent(event);
  });
  HANDLE waits[] = {watchdog.Event(), event};
  EXPECT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0 + 1);
  setter.join();
  // Auto-reset: the wait consumed the signal.
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  CloseHandle(event);
}

TEST_F(ThreadTest, WaitForMultipleObjectsAnyAndAll) {
  HANDLE a = CreateEvent(nullptr, 1, 0);
  HANDLE b = CreateEvent(nullptr, 1, 0);
  HANDLE both[] = {a, b};
  EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 10), WAIT_TIMEOUT);
  SetEvent(b);
  EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 10), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(2, both, 1, 10), WAIT_TIMEOUT);
  SetEvent(a);
  EXPECT_EQ(WaitForMultipleObjects(2, both, 0, 10), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(2, both, 1, 10), WAIT_OBJECT_0);
  CloseHandle(a);
  CloseHandle(b);
}

TEST_F(ThreadTest, WaitsOnHandlesThatCannotBeWaitedOnFail) {
  struct NotWaitable : KernelObject {};
  NotWaitable plain;
  HANDLE event = CreateEvent(nullptr, 1, 1);
  struct Case {
    const char* name;
    HANDLE handle;
    DWORD expected;
  };
  const Case cases[] = {{"null", nullptr, WAIT_FAILED},
                        {"invalid", INVALID_HANDLE_VALUE, WAIT_FAILED},
                        {"not waitable", &plain, WAIT_FAILED},
                        {"event", event, WAIT_OBJECT_0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WaitForSingleObject(c.handle, 0), c.expected);
    EXPECT_EQ(MsgWaitForMultipleObjects(1, &c.handle, 0, 0, QS_ALLINPUT), c.expected);
  }
  EXPECT_FALSE(SetEvent(&plain));
  CloseHandle(event);
}

TEST_F(ThreadTest, NamedEventsAreShared) {
  HANDLE first = CreateEvent(nullptr, 1, 0, "qorv-test-named");
  HANDLE second = CreateEvent(nullptr, 1, 0, "qorv-test-named");
  HANDLE other = CreateEvent(nullptr, 1, 0, "qorv-test-other");
  SetEvent(first);
  EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(other, 0), WAIT_TIMEOUT);
  CloseHandle(first);
  CloseHandle(second);
  CloseHandle(other);
}

TEST_F(ThreadTest, CriticalSectionIsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  std::atomic<BOOL> otherGot{-1};
  std::thread([&] { otherGot.store(TryEnterCriticalSection(&cs)); }).join();
  EXPECT_EQ(otherGot.load(), 0);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  std::thread([&] {
    otherGot.store(TryEnterCriticalSection(&cs));
    if (otherGot.load()) LeaveCriticalSection(&cs);
  }).join();
  EXPECT_EQ(otherGot.load(), 1);
  DeleteCriticalSection(&cs);
}

TEST_F(ThreadTest, MainThreadIdIsTheLoopThread) {
  EXPECT_EQ(MainThreadID(), GetCurrentThreadId());
  std::atomic<DWORD> seen{0};
  std::atomic<DWORD> own{0};
  std::thread([&] {
    seen.store(MainThreadID());
    own.store(GetCurrentThreadId());
  }).join();
  EXPECT_EQ(seen.load(), GetCurrentThreadId());
  EXPECT_NE(own.load(), GetCurrentThreadId());
}

}  // namespace
}  // namespace qorv::platform::testing
