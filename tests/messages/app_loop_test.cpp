// The application loop and its process-wide termination. Termination is
// final, so this lives in a binary of its own.

#include <gtest/gtest.h>

#include <atomic>

#include "TestSupport.h"

namespace qorv::platform::testing {
namespace {

using AppLoopTest = MessageTest;

TEST_F(AppLoopTest, RunMessageLoopDeliversUntilAnotherThreadTerminates) {
  Watchdog watchdog;
  int delivered = 0;
  HWND window = AllocateHWnd([&](TMessage& message) {
    if (message.Msg == WM_USER) ++delivered;
  });
  EXPECT_FALSE(ApplicationTerminated());
  HANDLE worker = StartThread([&]() -> DWORD {
    SendMessage(window, WM_USER, 0, 0);
    PostMessage(window, WM_USER, 0, 0);
    SendMessage(window, WM_USER, 0, 0);
    TerminateApplication();
    return 0;
  });
  RunMessageLoop();
  EXPECT_FALSE(watchdog.Expired());
  EXPECT_TRUE(ApplicationTerminated());
  // Posted before the last send, so the loop has dispatched it.
  EXPECT_EQ(delivered, 3);
  HANDLE waits[] = {worker, watchdog.Event()};
  EXPECT_EQ(WaitForMultipleObjects(2, waits, 0, INFINITE), WAIT_OBJECT_0);
  CloseHandle(worker);
  DeallocateHWnd(window);
}

}  // namespace
}  // namespace qorv::platform::testing
