// Message queues, windows, cross-thread send and post, timers and the waits
// of the main thread's GLib loop.

#include <gtest/gtest.h>
#include <glib.h>

#include <atomic>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "platform/messages/MessageList.h"

namespace qorv::platform::testing {
namespace {

using MessageLoopTest = MessageTest;

// Waits on the main thread for a thread to end while keeping every message
// flowing, as the worker module's wait does.
bool PumpUntilEnded(Watchdog& watchdog, HANDLE thread) {
  return PumpUntil(watchdog, [&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; });
}

TEST_F(MessageLoopTest, WorkerSendRunsOnTheMainThreadAndWaitsForIt) {
  Watchdog watchdog;
  DWORD handlerThread = 0;
  int effect = 0;  // written by the handler, read by the worker after the send
  HWND window = AllocateHWnd([&](HWND, UINT message, WPARAM, LPARAM lParam) -> LRESULT {
    if (message != WM_EXECMETHOD) return 0;
    handlerThread = GetCurrentThreadId();
    effect = static_cast<int>(lParam) + 1;
    return lParam * 2;
  });
  LRESULT result = 0;
  int effectSeen = 0;
  HANDLE worker = StartThread([&]() -> DWORD {
    result = SendMessage(window, WM_EXECMETHOD, 0, 21);
    effectSeen = effect;
    return 0;
  });
  ASSERT_TRUE(PumpUntilEnded(watchdog, worker));
  EXPECT_EQ(handlerThread, MainThreadID());
  EXPECT_EQ(result, 42);
  EXPECT_EQ(effectSeen, 22);
  CloseHandle(worker);
  DeallocateHWnd(window);
}

TEST_F(MessageLoopTest, SendsFromTwoWorkersAreEachDeliveredOnceInOrder) {
  Watchdog watchdog;
  constexpr int kPerWorker = 200;
  std::map<int, std::vector<int>> received;  // main thread only
  HWND window = AllocateHWnd([&](TMessage& message) {
    if (message.Msg != WM_USER + 1) return;
    received[static_cast<int>(message.WParam)].push_back(static_cast<int>(message.LParam));
    message.Result = message.LParam + 1;
  });
  std::atomic<int> wrongResults{0};
  std::vector<HANDLE> workers;
  for (int w = 0; w < 2; ++w) {
    workers.push_back(StartThread([&, w]() -> DWORD {
      for (int i = 0; i < kPerWorker; ++i) {
        if (SendMessage(window, WM_USER + 1, static_cast<WPARAM>(w), i) != i + 1) ++wrongResults;
      }
      return 0;
    }));
  }
  ASSERT_TRUE(PumpUntil(watchdog, [&] {
    return WaitForMultipleObjects(2, workers.data(), 1, 0) == WAIT_OBJECT_0;
  }));
  EXPECT_EQ(wrongResults.load(), 0);
  for (int w = 0; w < 2; ++w) {
    SCOPED_TRACE(w);
    ASSERT_EQ(received[w].size(), static_cast<std::size_t>(kPerWorker));
    for (int i = 0; i < kPerWorker; ++i) EXPECT_EQ(received[w][static_cast<std::size_t>(i)], i);
    CloseHandle(workers[static_cast<std::size_t>(w)]);
  }
  DeallocateHWnd(window);
}

TEST_F(MessageLoopTest, SentOnlyWaitDeliversSentMessagesAndLeavesTheRestQueued) {
  Watchdog watchdog;
  std::vector<UINT> handled;
  HWND window = AllocateHWnd([&](TMessage& message) { handled.push_back(message.Msg); });
  for (UINT i = 0; i < 3; ++i) ASSERT_TRUE(PostMessage(window, WM_USER + 10 + i, i, 0));
  int idleRuns = 0;
  const guint idle = g_idle_add(
      [](gpointer data) -> gboolean {
        ++*static_cast<int*>(data);
        return G_SOURCE_REMOVE;
      },
      &idleRuns);

  HANDLE worker = StartThread([&]() -> DWORD {
    SendMessage(window, WM_USER + 1, 0, 0);
    return 0;
  });
  // The worker module's wait for a thread on the main thread.
  HANDLE waits[] = {worker, watchdog.Event()};
  int inputWakeups = 0;
  DWORD outcome;
  while ((outcome = MsgWaitForMultipleObjects(2, waits, 0, INFINITE, QS_SENDMESSAGE)) ==
         WAIT_OBJECT_0 + 2) {
    ++inputWakeups;
    MSG msg;
    PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
  }
  ASSERT_EQ(outcome, WAIT_OBJECT_0);
  EXPECT_EQ(inputWakeups, 1) << "posted messages or GLib sources ended the wait";
  EXPECT_EQ(handled, std::vector<UINT>{WM_USER + 1});
  EXPECT_EQ(idleRuns, 0);

  MSG msg;
  for (UINT i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, window);
    EXPECT_EQ(msg.message, WM_USER + 10 + i);
    EXPECT_EQ(msg.wParam, i);
  }
  EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
  g_source_remove(idle);
  CloseHandle(worker);
  DeallocateHWnd(window);
}

TEST_F(MessageLoopTest, AllInputWaitReportsReadyGLibSourcesWithoutDispatchingThem) {
  Watchdog watchdog;
  int runs = 0;
  g_timeout_add(
      20,
      [](gpointer data) -> gboolean {
        ++*static_cast<int*>(data);
        return G_SOURCE_REMOVE;
      },
      &runs);
  HANDLE never = CreateEvent(nullptr, 1, 0);
  HANDLE waits[] = {never, watchdog.Event()};
  EXPECT_EQ(MsgWaitForMultipleObjects(2, waits, 0, INFINITE, QS_ALLINPUT), WAIT_OBJECT_0 + 2);
  EXPECT_FALSE(watchdog.Expired());
  EXPECT_EQ(runs, 0);
  ProcessMessages();
  EXPECT_EQ(runs, 1);
  // Nothing pending any more: the wait runs into its limit.
  EXPECT_EQ(MsgWaitForMultipleObjects(1, &never, 0, 30, QS_ALLINPUT), WAIT_TIMEOUT);
  CloseHandle(never);
}

TEST_F(MessageLoopTest, PostedMessagesFromAWorkerRunOnTheMainLoop) {
  Watchdog watchdog;
  std::vector<LPARAM> seen;
  DWORD handlerThread = 0;
  HWND window = AllocateHWnd([&](TMessage& message) {
    if (message.Msg != WM_USER + 2) return;
    handlerThread = GetCurrentThreadId();
    seen.push_back(message.LParam);
  });
  HANDLE worker = StartThread([&]() -> DWORD {
    for (LPARAM i = 0; i < 5; ++i) PostMessage(window, WM_USER + 2, 0, i);
    return 0;
  });
  ASSERT_TRUE(PumpUntil(watchdog, [&] { return seen.size() == 5; }));
  EXPECT_EQ(seen, (std::vector<LPARAM>{0, 1, 2, 3, 4}));
  EXPECT_EQ(handlerThread, GetCurrentThreadId());
  HANDLE waits[] = {worker, watchdog.Event()};
  EXPECT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  CloseHandle(worker);
  DeallocateHWnd(window);
}

TEST_F(MessageLoopTest, TimersFireRepeatedlyWithTheirIdAndStopAfterKillTimer) {
  Watchdog watchdog;
  std::map<WPARAM, int> ticks;
  HWND window = AllocateHWnd([&](TMessage& message) {
    if (message.Msg == WM_TIMER) ++ticks[message.WParam];
  });
  struct Case {
    UINT_PTR id;
    UINT interval;
  };
  const Case cases[] = {{1, 15}, {9, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(SetTimer(window, c.id, c.interval, nullptr), c.id);
  }
  ASSERT_TRUE(PumpUntil(watchdog, [&] { return ticks[1] >= 3 && ticks[9] >= 3; }));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_TRUE(KillTimer(window, c.id));
    EXPECT_FALSE(KillTimer(window, c.id));
  }
  const auto atKill = ticks;
  PumpFor(std::chrono::milliseconds(120));
  EXPECT_EQ(ticks, atKill);
  EXPECT_EQ(ticks.size(), 2u) << "a tick arrived with an id that was never set";
  DeallocateHWnd(window);
}

TEST_F(MessageLoopTest, TimerOfADestroyedWindowDoesNotFire) {
  int ticks = 0;
  HWND window = AllocateHWnd([&](TMessage& message) {
    if (message.Msg == WM_TIMER) ++ticks;
  });
  ASSERT_EQ(SetTimer(window, 1, 10, nullptr), 1u);
  DeallocateHWnd(window);
  PumpFor(std::chrono::milliseconds(80));
  EXPECT_EQ(ticks, 0);
  EXPECT_FALSE(KillTimer(window, 1));
  EXPECT_EQ(SetTimer(window, 1, 10, nullptr), 0u);
}

TEST_F(MessageLoopTest, TimersOnAWorkersWindowRunThroughItsOwnLoop) {
  Watchdog watchdog;
  std::atomic<int> ticks{0};
  std::atomic<DWORD> tickThread{0};
  DWORD workerId = 0;
  HANDLE worker = StartThread(
      [&]() -> DWORD {
        HWND window = AllocateHWnd([&](TMessage& message) {
          if (message.Msg != WM_TIMER || message.WParam != 4) return;
          tickThread.store(GetCurrentThreadId());
          if (++ticks == 3) PostQuitMessage(0);
        });
        SetTimer(window, 4, 10, nullptr);
        RunMessageLoop();
        DeallocateHWnd(window);
        return 0;
      },
      0, &workerId);
  HANDLE waits[] = {worker, watchdog.Event()};
  ASSERT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(ticks.load(), 3);
  EXPECT_EQ(tickThread.load(), workerId);
  CloseHandle(worker);
}

TEST_F(MessageLoopTest, SendToADestroyedWindowReturnsZeroAtOnce) {
  Watchdog watchdog;
  int calls = 0;
  HWND window = AllocateHWnd([&](TMessage& message) {
    ++calls;
    message.Result = 5;
  });
  ASSERT_EQ(SendMessage(window, WM_USER, 0, 0), 5);
  const int callsBefore = calls;
  DeallocateHWnd(window);
  const int afterDestroy = calls;  // WM_DESTROY counts
  EXPECT_GT(afterDestroy, callsBefore);
  EXPECT_FALSE(IsWindow(window));

  EXPECT_EQ(SendMessage(window, WM_USER, 0, 0), 0);
  EXPECT_FALSE(PostMessage(window, WM_USER, 0, 0));
  // From another thread, with nobody pumping here.
  std::atomic<LRESULT> fromWorker{-1};
  HANDLE worker = StartThread([&]() -> DWORD {
    fromWorker.store(SendMessage(window, WM_USER, 0, 0));
    return 0;
  });
  HANDLE waits[] = {worker, watchdog.Event()};
  ASSERT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(fromWorker.load(), 0);
  EXPECT_EQ(calls, afterDestroy);
  CloseHandle(worker);
}

TEST_F(MessageLoopTest, SendsToAWindowWhoseOwnerEndedReturnZero) {
  Watchdog watchdog;
  std::atomic<HWND> window{nullptr};
  std::atomic<int> calls{0};
  HANDLE release = CreateEvent(nullptr, 1, 0);
  // The owner makes a window and then blocks without ever pumping it.
  HANDLE owner = StartThread([&]() -> DWORD {
    window.store(AllocateHWnd([&](TMessage&) { ++calls; }));
    WaitForSingleObject(release, INFINITE);
    return 0;
  });
  ASSERT_TRUE(PumpUntil(watchdog, [&] { return window.load() != nullptr; }));

  std::atomic<LRESULT> pendingResult{-1};
  std::atomic<bool> sent{false};
  std::thread sender([&] {
    sent.store(true);
    pendingResult.store(SendMessage(window.load(), WM_USER, 0, 0));
  });
  ASSERT_TRUE(PumpUntil(watchdog, [&] { return sent.load(); }));
  Sleep(20);  // let the send get queued before the owner goes
  SetEvent(release);
  sender.join();
  EXPECT_EQ(pendingResult.load(), 0);

  HANDLE waits[] = {owner, watchdog.Event()};
  ASSERT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  EXPECT_FALSE(IsWindow(window.load()));
  EXPECT_EQ(SendMessage(window.load(), WM_USER, 0, 0), 0);
  EXPECT_EQ(calls.load(), 0);
  CloseHandle(owner);
  CloseHandle(release);
}

TEST_F(MessageLoopTest, ThreadsSendingToEachOtherDoNotDeadlock) {
  Watchdog watchdog;
  std::atomic<HWND> workerWindow{nullptr};
  std::atomic<DWORD> workerHandlerThread{0};
  LRESULT innerResult = 0;
  HWND mainWindow = AllocateHWnd([&](TMessage& message) {
    if (message.Msg != WM_USER + 3) return;
    // The worker is blocked in its send to us; it must still take this.
    innerResult = SendMessage(workerWindow.load(), WM_USER + 4, 0, message.LParam);
    message.Result = innerResult + 1;
  });
  std::atomic<LRESULT> outerResult{0};
  DWORD workerId = 0;
  HANDLE worker = StartThread(
      [&]() -> DWORD {
        HWND own = AllocateHWnd([&](TMessage& message) {
          if (message.Msg != WM_USER + 4) return;
          workerHandlerThread.store(GetCurrentThreadId());
          message.Result = message.LParam * 10;
        });
        workerWindow.store(own);
        outerResult.store(SendMessage(mainWindow, WM_USER + 3, 0, 7));
        DeallocateHWnd(own);
        return 0;
      },
      0, &workerId);
  ASSERT_TRUE(PumpUntilEnded(watchdog, worker));
  EXPECT_EQ(innerResult, 70);
  EXPECT_EQ(outerResult.load(), 71);
  EXPECT_EQ(workerHandlerThread.load(), workerId);
  CloseHandle(worker);
  DeallocateHWnd(mainWindow);
}

TEST_F(MessageLoopTest, NestedLoopInAHandlerKeepsDeliveringSends) {
  Watchdog watchdog;
  HANDLE signal = CreateEvent(nullptr, 1, 0);
  std::vector<int> order;
  std::atomic<bool> inNestedLoop{false};
  HWND window = AllocateHWnd([&](TMessage& message) {
    if (message.Msg == WM_USER + 5) {
      order.push_back(1);
      inNestedLoop.store(true);
      // A wait on a signal that keeps the application alive, as the
      // upgrade flow does while its wizard is open.
      HANDLE waits[] = {signal, watchdog.Event()};
      while (MsgWaitForMultipleObjects(2, waits, 0, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 2) {
        ProcessMessages();
      }
      order.push_back(3);
    } else if (message.Msg == WM_USER + 6) {
      order.push_back(2);
      SetEvent(signal);
    }
  });
  std::atomic<bool> firstHandled{false};
  HANDLE first = StartThread([&]() -> DWORD {
    SendMessage(window, WM_USER + 5, 0, 0);
    firstHandled.store(true);
    return 0;
  });
  // Sends only once the first message is being handled (the main thread is
  // then inside the nested loop).
  HANDLE second = StartThread([&]() -> DWORD {
    HANDLE expired = watchdog.Event();
    while (!inNestedLoop.load() && WaitForSingleObject(expired, 1) == WAIT_TIMEOUT) {
    }
    SendMessage(window, WM_USER + 6, 0, 0);
    return 0;
  });
  HANDLE both[] = {first, second};
  ASSERT_TRUE(PumpUntil(watchdog, [&] {
    return WaitForMultipleObjects(2, both, 1, 0) == WAIT_OBJECT_0;
  }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(firstHandled.load());
  CloseHandle(first);
  CloseHandle(second);
  CloseHandle(signal);
  DeallocateHWnd(window);
}

TEST_F(MessageLoopTest, ProcedureExceptionsGoToTheHandlerAndTheSenderGetsZero) {
  Watchdog watchdog;
  std::vector<std::string> reported;
  SetMessageExceptionHandler([&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      reported.push_back(e.what());
    }
  });
  HWND window = AllocateHWnd([](TMessage& message) {
    if (message.Msg == WM_USER) throw std::runtime_error("handler failed");
    message.Result = 3;
  });
  std::atomic<LRESULT> failed{-1};
  std::atomic<LRESULT> next{-1};
  HANDLE worker = StartThread([&]() -> DWORD {
    failed.store(SendMessage(window, WM_USER, 0, 0));
    next.store(SendMessage(window, WM_USER + 1, 0, 0));
    return 0;
  });
  ASSERT_TRUE(PumpUntilEnded(watchdog, worker));
  SetMessageExceptionHandler(nullptr);
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(next.load(), 3);
  EXPECT_EQ(reported, std::vector<std::string>{"handler failed"});
  CloseHandle(worker);
  DeallocateHWnd(window);
}

LRESULT CountingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) return 11;
  return DefWindowProc(window, message, wParam, lParam);
}

TEST_F(MessageLoopTest, WindowClassesRegisterOnceAndUnregisterWhenUnused) {
  WNDCLASS record;
  record.lpfnWndProc = CountingProcedure;
  record.hInstance = GetModuleInstance();
  record.lpszClassName = "TauThreadWindow";
  ASSERT_NE(RegisterClass(&record), 0);
  EXPECT_EQ(RegisterClass(&record), 0) << "an existing name must not register again";
  WNDCLASS found;
  ASSERT_TRUE(GetClassInfo(GetModuleInstance(), "TauThreadWindow", &found));
  EXPECT_EQ(found.lpfnWndProc, &CountingProcedure);

  HWND window = CreateWindowEx(0, "TauThreadWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                               GetModuleInstance(), nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(CreateWindowEx(0, "NoSuchClass", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                           nullptr),
            nullptr);
  struct Case {
    UINT message;
    LRESULT expected;
  };
  const Case cases[] = {{WM_USER, 11}, {WM_EXECMETHOD + 1, 0}, {WM_QUERYENDSESSION, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(SendMessage(window, c.message, 0, 0), c.expected);
  }
  EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  EXPECT_FALSE(UnregisterClass("TauThreadWindow", GetModuleInstance()))
      << "a class with a live window must stay";
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_FALSE(DestroyWindow(window));
  EXPECT_TRUE(UnregisterClass("TauThreadWindow", GetModuleInstance()));
  EXPECT_FALSE(UnregisterClass("TauThreadWindow", GetModuleInstance()));
  EXPECT_NE(RegisterClass(&record), 0) << "registering anew after unregistering";
  EXPECT_TRUE(UnregisterClass("TauThreadWindow", GetModuleInstance()));
}

TEST_F(MessageLoopTest, OnlyTheOwnerThreadDestroysAWindow) {
  HWND window = AllocateHWnd([](TMessage&) {});
  std::atomic<BOOL> fromOther{-1};
  std::thread([&] { fromOther.store(DestroyWindow(window)); }).join();
  EXPECT_EQ(fromOther.load(), 0);
  EXPECT_TRUE(IsWindow(window));
  DeallocateHWnd(window);
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
}  // namespace qorv::platform::testing
