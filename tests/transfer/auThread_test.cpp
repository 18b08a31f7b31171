// The worker thread component: runs, kills, priorities, waits, the shared
// window. Real layer threads, the real main-thread message loop.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "platform/messages/Events.h"
#include "platform/messages/Windows.h"
#include "tests/transfer/TransferTestSupport.h"
#include "transfer/auThread.h"

namespace qorv {
namespace {

using namespace platform;
using transfertest::PumpFor;
using transfertest::PumpUntil;
using transfertest::Watchdog;

class ThreadTest : public ::testing::Test {
protected:
  void SetUp() override { InitMessageLoop(); }
  void TearDown() override {
    if (owner) owner->Free();
    EXPECT_EQ(ThreadWindowCount(), 0) << "a worker object outlived its component";
  }
  TauCustomThread* MakeThread() {
    if (!owner) owner = new TComponent(nullptr);
    return new TauCustomThread(owner);
  }
  bool OnMain() const { return GetCurrentThreadId() == MainThreadID(); }

  TComponent* owner = nullptr;
};

TEST_F(ThreadTest, NeverRunComponentEndsWithoutEvents) {
  Watchdog dog;
  std::atomic<int> fired{0};
  TauCustomThread* thread = MakeThread();
  thread->SetOnExecute(TNotifyEvent(nullptr, [&](TObject*) { ++fired; }));
  thread->SetOnTerminate(TNotifyEvent(nullptr, [&](TObject*) { ++fired; }));
  EXPECT_TRUE(thread->Suspended());
  EXPECT_FALSE(thread->Running());
  thread->Free();
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(fired.load(), 0);
}

TEST_F(ThreadTest, RunExecutesOnWorkerAndTerminatesOnMain) {
  Watchdog dog;
  TauCustomThread* thread = MakeThread();
  std::atomic<bool> executeOnMain{true};
  bool terminateOnMain = false;
  bool runningInTerminate = false;
  TObject* sender = nullptr;
  thread->SetOnExecute(TNotifyEvent(nullptr, [&](TObject* s) {
    executeOnMain = OnMain();
    sender = s;
  }));
  thread->SetOnTerminate(TNotifyEvent(nullptr, [&](TObject*) {
    terminateOnMain = OnMain();
    runningInTerminate = thread->Running();
  }));
  thread->WaitThread = true;
  EXPECT_TRUE(thread->Execute());
  EXPECT_FALSE(executeOnMain.load());
  EXPECT_TRUE(terminateOnMain);
  EXPECT_TRUE(runningInTerminate) << "Running stays set until OnTerminate has been delivered";
  EXPECT_EQ(sender, thread);
  EXPECT_TRUE(PumpUntil(dog, [&] { return !thread->Running(); }));
}

TEST_F(ThreadTest, ExceptionInExecuteIsReportedOnMainAndTheRunEnds) {
  Watchdog dog;
  TauCustomThread* thread = MakeThread();
  bool exceptionOnMain = false;
  int terminated = 0;
  thread->SetOnExecute(TNotifyEvent(nullptr, [](TObject*) { throw std::runtime_error("boom"); }));
  thread->SetOnException(TNotifyEvent(nullptr, [&](TObject*) { exceptionOnMain = OnMain(); }));
  thread->SetOnTerminate(TNotifyEvent(nullptr, [&](TObject*) { ++terminated; }));
  thread->WaitThread = true;
  EXPECT_TRUE(thread->Execute());
  EXPECT_TRUE(exceptionOnMain);
  EXPECT_EQ(terminated, 1);
}

TEST_F(ThreadTest, SecondExecuteKillsTheFirstRunWithoutItsTerminate) {
  Watchdog dog;
  TauCustomThread* thread = MakeThread();
  std::atomic<int> runs{0};
  int terminated = 0;
  thread->SetOnExecute(TNotifyEvent(nullptr, [&](TObject*) {
    ++runs;
    // Polls until told to stop; Sleep is a call into the layer, where a
    // kill unwinds the thread.
    for (int i = 0; i < 1000 && !thread->Terminated(); ++i) Sleep(5);
  }));
  thread->SetOnTerminate(TNotifyEvent(nullptr, [&](TObject*) { ++terminated; }));
  thread->SetPriority(tpLower);
  ASSERT_TRUE(thread->Execute());
  ASSERT_TRUE(PumpUntil(dog, [&] { return runs.load() == 1; }));
  ASSERT_TRUE(thread->Execute());
  ASSERT_TRUE(PumpUntil(dog, [&] { return runs.load() == 2; }));
  EXPECT_EQ(terminated, 0) << "a killed run fires no OnTerminate";
  EXPECT_EQ(thread->Priority(), tpLower) << "the priority survives the replacement";
  thread->Terminate(false);
  EXPECT_TRUE(thread->Terminated());
  ASSERT_TRUE(PumpUntil(dog, [&] { return terminated == 1; }));
  EXPECT_TRUE(PumpUntil(dog, [&] { return !thread->Running(); }));
}

TEST_F(ThreadTest, StopAskedRightAfterExecuteStillEndsTheRun) {
  // The stop usually comes before the fresh thread has had a chance to
  // start: the run must still happen and end with OnTerminate, or Running
  // would drop without any ending step.
  Watchdog dog;
  TauCustomThread* thread = MakeThread();
  std::atomic<int> executed{0};
  int terminated = 0;
  thread->SetOnExecute(TNotifyEvent(nullptr, [&](TObject*) { ++executed; }));
  thread->SetOnTerminate(TNotifyEvent(nullptr, [&](TObject*) { ++terminated; }));
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(thread->Execute());
    thread->Terminate(false);
    ASSERT_TRUE(PumpUntil(dog, [&] { return terminated == round + 1; })) << "the run ended without OnTerminate";
    EXPECT_EQ(executed.load(), round + 1);
    EXPECT_TRUE(thread->Terminated());
    EXPECT_TRUE(PumpUntil(dog, [&] { return !thread->Running(); }));
  }
}

TEST_F(ThreadTest, PriorityTableMapsBothWays) {
  struct Row {
    TThreadPriority priority;
    int value;
  };
  const Row rows[] = {{tpIdle, -15}, {tpLowest, -2}, {tpLower, -1},         {tpNormal, 0},
                      {tpHigher, 1}, {tpHighest, 2}, {tpTimeCritical, 15}};
  TauCustomThread* thread = MakeThread();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    EXPECT_EQ(ThreadPriorityValue(row.priority), row.value);
    EXPECT_EQ(ThreadPriorityFromValue(row.value), row.priority);
    thread->SetPriority(row.priority);
    EXPECT_EQ(thread->Priority(), row.priority);
  }
  EXPECT_EQ(ThreadPriorityFromValue(7), tpNormal);
  SetThreadPriority(thread->Thread()->Handle(), 5);
  EXPECT_EQ(thread->Priority(), tpNormal);
}

TEST_F(ThreadTest, WaitTimeoutAsksWhetherToKill) {
  struct Row {
    bool terminate;
    bool expectedResult;
  };
  for (const Row row : {Row{true, false}, Row{false, true}}) {
    SCOPED_TRACE(row.terminate);
    Watchdog dog;
    TauCustomThread* thread = MakeThread();
    std::atomic<bool> finished{false};
    int asked = 0;
    int terminated = 0;
    thread->SetOnExecute(TNotifyEvent(nullptr, [&](TObject*) {
      for (int i = 0; i < 1000 && !thread->Terminated(); ++i) Sleep(5);
      finished = true;
    }));
    thread->SetOnTerminate(TNotifyEvent(nullptr, [&](TObject*) { ++terminated; }));
    thread->OnWaitTimeoutExpired = TauThreadWaitTimeoutEvent(nullptr, [&](TObject* sender, bool& kill) {
      EXPECT_EQ(sender, thread);
      EXPECT_TRUE(kill);
      ++asked;
      kill = row.terminate;
    });
    thread->WaitThread = true;
    thread->WaitTimeout = 300;
    EXPECT_EQ(thread->Execute(), row.expectedResult);
    EXPECT_EQ(asked, 1);
    if (row.terminate) {
      PumpFor(std::chrono::milliseconds(100));
      EXPECT_EQ(terminated, 0);
      EXPECT_FALSE(finished.load());
    } else {
      EXPECT_TRUE(thread->Running()) << "the run goes on in the background";
      thread->Terminate(false);
      EXPECT_TRUE(PumpUntil(dog, [&] { return terminated == 1; }));
      EXPECT_TRUE(finished.load());
    }
    thread->Free();
  }
}

TEST_F(ThreadTest, SynchronizeRunsOnMainAndDropsItsException) {
  Watchdog dog;
  TauCustomThread* thread = MakeThread();
  std::vector<bool> calls;
  std::atomic<bool> after{false};
  thread->SetOnExecute(TNotifyEvent(nullptr, [&](TObject*) {
    thread->Synchronize([&] { calls.push_back(OnMain()); });
    thread->Synchronize([&] {
      calls.push_back(OnMain());
      throw std::runtime_error("dropped");
    });
    after = true;
  }));
  thread->WaitThread = true;
  EXPECT_TRUE(thread->Execute());
  EXPECT_EQ(calls, (std::vector<bool>{true, true}));
  EXPECT_TRUE(after.load()) << "the worker carries on after the exception";
}

TEST_F(ThreadTest, HardTerminateFromExecuteEndsTheThreadAtOnce) {
  Watchdog dog;
  TauCustomThread* thread = MakeThread();
  std::atomic<bool> pastKill{false};
  std::atomic<bool> started{false};
  int terminated = 0;
  thread->SetOnExecute(TNotifyEvent(nullptr, [&](TObject*) {
    started = true;
    thread->Terminate(true);
    pastKill = true;
  }));
  thread->SetOnTerminate(TNotifyEvent(nullptr, [&](TObject*) { ++terminated; }));
  ASSERT_TRUE(thread->Execute());
  ASSERT_TRUE(PumpUntil(dog, [&] { return started.load(); }));
  const HANDLE handle = thread->Thread()->Handle();
  ASSERT_EQ(WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_FALSE(pastKill.load());
  EXPECT_EQ(terminated, 0);
  EXPECT_TRUE(thread->Running()) << "Running stays set until the next Execute";
}

TEST_F(ThreadTest, DestroyingTheOwnerMidRunFiresNothingMore) {
  Watchdog dog;
  auto* localOwner = new TComponent(nullptr);
  auto* thread = new TauCustomThread(localOwner);
  std::atomic<int> synced{0};
  int terminated = 0;
  thread->SetOnExecute(TNotifyEvent(nullptr, [&](TObject*) {
    for (int i = 0; i < 2000; ++i) {
      thread->Synchronize([&] { ++synced; });
      Sleep(2);
    }
  }));
  thread->SetOnTerminate(TNotifyEvent(nullptr, [&](TObject*) { ++terminated; }));
  ASSERT_TRUE(thread->Execute());
  ASSERT_TRUE(PumpUntil(dog, [&] { return synced.load() >= 3; }));
  localOwner->Free();
  const int atDestruction = synced.load();
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(synced.load(), atDestruction);
  EXPECT_EQ(terminated, 0);
}

TEST_F(ThreadTest, HiddenWindowLivesWithTheWorkerObjects) {
  EXPECT_EQ(ThreadWindowCount(), 0);
  EXPECT_EQ(ThreadWindow(), nullptr);
  TauCustomThread* first = MakeThread();
  const HWND window = ThreadWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindow(window));
  TauCustomThread* second = MakeThread();
  EXPECT_EQ(ThreadWindowCount(), 2);
  EXPECT_EQ(ThreadWindow(), window) << "worker objects share one window";
  first->Free();
  EXPECT_TRUE(IsWindow(window));
  second->Free();
  EXPECT_EQ(ThreadWindowCount(), 0);
  EXPECT_FALSE(IsWindow(window));
  WNDCLASS info{};
  EXPECT_FALSE(GetClassInfo(GetModuleInstance(), kThreadWindowClass, &info)) << "the class is unregistered";

  // A new worker registers the class anew and works.
  Watchdog dog;
  TauCustomThread* third = MakeThread();
  ASSERT_TRUE(IsWindow(ThreadWindow()));
  EXPECT_TRUE(GetClassInfo(GetModuleInstance(), kThreadWindowClass, &info));
  bool ran = false;
  third->SetOnExecute(TNotifyEvent(nullptr, [&](TObject*) { third->Synchronize([&] { ran = true; }); }));
  third->WaitThread = true;
  EXPECT_TRUE(third->Execute());
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace qorv
