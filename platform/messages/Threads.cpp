#include "platform/messages/Threads.h"

#include <glib.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "platform/messages/Internal.h"

namespace qorv::platform {
namespace detail {
namespace {

std::atomic<DWORD> g_nextThreadId{1000};
std::atomic<DWORD> g_mainThreadId{0};

// Ends the thread's part in the layer when the thread goes away, also for
// threads the layer did not start.
struct CurrentHolder {
  std::shared_ptr<ThreadState> state;
  ~CurrentHolder();
};
thread_local CurrentHolder t_current;

void FinishThread(ThreadState& state, DWORD exitCode) {
  // Windows go first, so that whoever sees the handle signalled also sees
  // them gone.
  CloseQueue(state);
  DestroyWindowsOf(state);
  std::lock_guard lock(WaitLock());
  if (!state.handle.signalled) {
    state.exitCode = exitCode;
    SignalLocked(state.handle);
  }
}

CurrentHolder::~CurrentHolder() {
  if (state) FinishThread(*state, 0);
}

// Nice values for the Windows levels; other values fall between them.
int NiceFor(int priority) {
  if (priority <= THREAD_PRIORITY_IDLE) return 19;
  if (priority >= THREAD_PRIORITY_TIME_CRITICAL) return -20;
  if (priority <= THREAD_PRIORITY_LOWEST) return 10;
  if (priority >= THREAD_PRIORITY_HIGHEST) return -10;
  return -5 * priority;
}

void ApplyPriority(ThreadState& state) {
  const long tid = state.kernelId.load();
  if (tid == 0) return;
  // Raising the priority needs a privilege most users lack; the stored
  // value is what callers read back, so a refusal is not an error.
  (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceFor(state.priority.load()));
}

std::shared_ptr<ThreadState> NewState() {
  auto state = std::make_shared<ThreadState>();
  state->id = g_nextThreadId.fetch_add(1);
  return state;
}

struct StartRecord {
  std::shared_ptr<ThreadState> state;
  LPTHREAD_START_ROUTINE entry;
  void* parameter;
};

void* ThreadMain(void* raw) {
  std::unique_ptr<StartRecord> start(static_cast<StartRecord*>(raw));
  std::shared_ptr<ThreadState> state = start->state;
  t_current.state = state;
  state->kernelId.store(static_cast<long>(gettid()));
  if (state->priority.load() != THREAD_PRIORITY_NORMAL) ApplyPriority(*state);
  {
    std::unique_lock lock(state->mutex);
    state->wake.wait(lock, [&] { return state->suspendCount == 0 || state->killed.load(); });
  }
  DWORD exitCode = 0;
  if (!state->killed.load()) {
    try {
      exitCode = start->entry(start->parameter);
    } catch (const ThreadKilled&) {
      // The handle was signalled with the kill's exit code already.
    } catch (...) {
      // An exception that leaves the entry ends with the thread.
      exitCode = THREAD_EXIT_UNHANDLED_EXCEPTION;
    }
  }
  FinishThread(*state, exitCode);
  t_current.state.reset();
  return nullptr;
}

ThreadObject* AsThread(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<ThreadObject*>(handle);
}

void Kill(ThreadState& state, DWORD exitCode) {
  if (state.killed.exchange(true)) return;
  {
    std::lock_guard lock(WaitLock());
    if (!state.handle.signalled) {
      state.exitCode = exitCode;
      SignalLocked(state.handle);
    }
  }
  CloseQueue(state);
  {
    // What the thread is still blocked sending is withdrawn now, so nothing
    // it sent reaches a procedure after the kill has returned.
    std::lock_guard lock(state.mutex);
    for (auto& item : state.outgoing) {
      int expected = SentMessage::Queued;
      item->state.compare_exchange_strong(expected, SentMessage::Dropped);
    }
  }
  {
    std::lock_guard lock(state.listenerMutex);
    state.listenersRan = true;
    for (auto& [id, listener] : state.listeners) {
      try {
        listener();
      } catch (...) {
        // A listener only wakes a blocked call; its failure must not stop
        // the kill or the other listeners.
      }
    }
  }
  state.Wake();
}

}  // namespace

std::mutex& WaitLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

void SignalLocked(Waitable& waitable) {
  waitable.signalled = true;
  for (ThreadState* waiter : waitable.waiters) waiter->Wake();
}

void ThreadState::Wake() {
  {
    std::lock_guard lock(mutex);
    ++wakeCount;
  }
  wake.notify_all();
  if (isMain.load()) g_main_context_wakeup(nullptr);
}

std::uint64_t ThreadState::WakeCount() {
  std::lock_guard lock(mutex);
  return wakeCount;
}

void ThreadState::WaitForWake(std::uint64_t seen, Clock::time_point deadline) {
  std::unique_lock lock(mutex);
  if (deadline == Clock::time_point::max()) {
    wake.wait(lock, [&] { return wakeCount != seen; });
  } else {
    wake.wait_until(lock, deadline, [&] { return wakeCount != seen; });
  }
}

std::shared_ptr<ThreadState> CurrentShared() {
  if (!t_current.state) {
    auto state = NewState();
    state->kernelId.store(static_cast<long>(gettid()));
    t_current.state = state;
    DWORD none = 0;
    if (g_mainThreadId.compare_exchange_strong(none, state->id)) {
      state->isMain.store(true);
      AttachMainSource(*state);
    }
  }
  return t_current.state;
}

ThreadState& Current() {
  if (!t_current.state) CurrentShared();
  return *t_current.state;
}

void BecomeMain() {
  ThreadState& self = Current();
  if (self.isMain.load()) return;
  DWORD previous = g_mainThreadId.exchange(self.id);
  (void)previous;
  self.isMain.store(true);
  AttachMainSource(self);
}

bool KilledCheck(ThreadState& self) {
  if (!self.killed.load()) return false;
  if (std::uncaught_exceptions() == 0) throw ThreadKilled{};
  return true;
}

bool Checkpoint(ThreadState& self) {
  if (KilledCheck(self)) return true;
  {
    std::unique_lock lock(self.mutex);
    self.wake.wait(lock, [&] { return self.suspendCount == 0 || self.killed.load(); });
  }
  return KilledCheck(self);
}

Clock::time_point DeadlineAfter(DWORD milliseconds) {
  if (milliseconds == INFINITE) return Clock::time_point::max();
  return Clock::now() + std::chrono::milliseconds(milliseconds);
}

}  // namespace detail

using namespace detail;

bool IsThreadKilledException(std::exception_ptr error) {
  if (!error) return false;
  try {
    std::rethrow_exception(error);
  } catch (const ThreadKilled&) {
    return true;
  } catch (...) {
    return false;
  }
}

HANDLE CreateThread(void* /*security*/, std::size_t stackSize, LPTHREAD_START_ROUTINE entry,
                    void* parameter, DWORD flags, DWORD* threadId) {
  if (entry == nullptr) return nullptr;
  Current();  // the creator is adopted first, so it can be the main thread
  std::shared_ptr<ThreadState> state = NewState();
  state->suspendCount = (flags & CREATE_SUSPENDED) != 0 ? 1 : 0;
  auto start = std::make_unique<StartRecord>(StartRecord{state, entry, parameter});

  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return nullptr;
  if (stackSize != 0) {
    (void)pthread_attr_setstacksize(&attributes,
                                    std::max<std::size_t>(stackSize, PTHREAD_STACK_MIN));
  }
  (void)pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int error = pthread_create(&thread, &attributes, ThreadMain, start.get());
  pthread_attr_destroy(&attributes);
  if (error != 0) return nullptr;
  start.release();  // the new thread owns it now
  if (threadId != nullptr) *threadId = state->id;
  return new ThreadObject(std::move(state));
}

DWORD SuspendThread(HANDLE thread) {
  ThreadObject* object = AsThread(thread);
  if (object == nullptr) return 0xFFFFFFFF;
  ThreadState& state = *object->State();
  DWORD previous;
  {
    std::lock_guard lock(state.mutex);
    previous = static_cast<DWORD>(state.suspendCount);
    ++state.suspendCount;
  }
  // A thread that suspends itself stops here, as it would at once on the
  // system this layer stands in for.
  if (&state == &Current()) {
    Checkpoint(state);
  } else {
    state.Wake();
  }
  return previous;
}

DWORD ResumeThread(HANDLE thread) {
  ThreadObject* object = AsThread(thread);
  if (object == nullptr) return 0xFFFFFFFF;
  ThreadState& state = *object->State();
  DWORD previous;
  {
    std::lock_guard lock(state.mutex);
    previous = static_cast<DWORD>(state.suspendCount);
    if (state.suspendCount > 0) --state.suspendCount;
  }
  state.Wake();
  return previous;
}

BOOL TerminateThread(HANDLE thread, DWORD exitCode) {
  ThreadObject* object = AsThread(thread);
  if (object == nullptr) return 0;
  std::shared_ptr<ThreadState> state = object->State();
  Kill(*state, exitCode);
  if (state.get() == &Current()) KilledCheck(*state);
  return 1;
}

int GetThreadPriority(HANDLE thread) {
  ThreadObject* object = AsThread(thread);
  if (object == nullptr) return THREAD_PRIORITY_ERROR_RETURN;
  return object->State()->priority.load();
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
  ThreadObject* object = AsThread(thread);
  if (object == nullptr || priority == THREAD_PRIORITY_ERROR_RETURN) return 0;
  object->State()->priority.store(priority);
  ApplyPriority(*object->State());
  return 1;
}

BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode) {
  ThreadObject* object = AsThread(thread);
  if (object == nullptr || exitCode == nullptr) return 0;
  std::lock_guard lock(WaitLock());
  *exitCode = object->State()->exitCode;
  return 1;
}

DWORD GetCurrentThreadId() { return Current().id; }

DWORD MainThreadID() {
  Current();
  return g_mainThreadId.load();
}

void Sleep(DWORD milliseconds) {
  ThreadState& self = Current();
  if (Checkpoint(self)) return;
  const Clock::time_point deadline = DeadlineAfter(milliseconds);
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  for (;;) {
    const std::uint64_t seen = self.WakeCount();
    if (Checkpoint(self)) return;
    if (Clock::now() >= deadline) return;
    self.WaitForWake(seen, deadline);
  }
}

bool CurrentThreadKilled() { return Current().killed.load(); }

void KillCheckpoint() { Checkpoint(Current()); }

int AddKillListener(std::function<void()> listener) {
  ThreadState& self = Current();
  std::lock_guard lock(self.listenerMutex);
  const int id = self.nextListener++;
  if (self.listenersRan) {
    if (listener) listener();
    return id;
  }
  self.listeners.emplace(id, std::move(listener));
  return id;
}

void RemoveKillListener(int id) {
  ThreadState& self = Current();
  std::lock_guard lock(self.listenerMutex);
  self.listeners.erase(id);
}

}  // namespace qorv::platform
