// Shared state of the messages area; not for use outside it.
//
// Locks, always taken in this order and never the other way round:
//   1. WaitLock()        signal states of events and threads, waiter lists
//   2. ThreadState::mutex  one thread's queues, suspend count, wake counter
// The window registry has its own lock, which is never held while another
// of these is taken. No lock is held while a window procedure, a kill
// listener or a GLib call that may dispatch runs.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/messages/Events.h"
#include "platform/messages/Messages.h"
#include "platform/messages/Threads.h"
#include "platform/messages/Windows.h"

typedef struct _GSource GSource;

namespace qorv::platform::detail {

using Clock = std::chrono::steady_clock;

struct ThreadState;

// Signal state of an event or a thread; guarded by WaitLock().
struct Waitable {
  bool signalled = false;
  bool manualReset = true;
  std::vector<ThreadState*> waiters;
};

std::mutex& WaitLock();
// Under WaitLock(): mark signalled and wake every waiter.
void SignalLocked(Waitable& waitable);

struct Window {
  std::uintptr_t id = 0;
  std::string className;
  WindowProcedure procedure;
  std::weak_ptr<ThreadState> owner;
  DWORD ownerId = 0;
  std::atomic<bool> alive{true};
  std::atomic<bool> destroying{false};
};

struct SentMessage {
  enum State { Queued, Running, Done, Dropped };
  std::shared_ptr<Window> window;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  std::atomic<int> state{Queued};
  std::shared_ptr<ThreadState> sender;
};

struct Timer {
  HWND window = nullptr;
  UINT_PTR id = 0;
  Clock::duration interval{};
  Clock::time_point due{};
  TIMERPROC procedure = nullptr;
};

struct ThreadState : std::enable_shared_from_this<ThreadState> {
  DWORD id = 0;
  std::atomic<bool> killed{false};
  std::atomic<int> priority{THREAD_PRIORITY_NORMAL};
  std::atomic<long> kernelId{0};
  std::atomic<bool> isMain{false};

  // Guarded by WaitLock().
  Waitable handle;
  DWORD exitCode = STILL_ACTIVE;

  // Guarded by mutex.
  std::mutex mutex;
  std::condition_variable wake;
  std::uint64_t wakeCount = 0;
  int suspendCount = 0;
  bool closed = false;  // ended or killed: takes no more messages
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::deque<MSG> posted;
  std::vector<Timer> timers;
  // Messages this thread is blocked sending (nested sends stack up), so a
  // kill can withdraw them before the owner picks them up.
  std::vector<std::shared_ptr<SentMessage>> outgoing;

  // Held while listeners run, so that removal waits for them.
  std::mutex listenerMutex;
  std::map<int, std::function<void()>> listeners;
  int nextListener = 1;
  bool listenersRan = false;

  GSource* source = nullptr;  // main thread only; attached once

  // Wakes the thread from whatever wait it is in (also the GLib poll of
  // the main thread). Must not be called with mutex held.
  void Wake();
  std::uint64_t WakeCount();
  // Waits until Wake() was called after WakeCount() returned seen, or until
  // the deadline.
  void WaitForWake(std::uint64_t seen, Clock::time_point deadline);
};

// The calling thread's state; adopts the thread on its first call.
ThreadState& Current();
std::shared_ptr<ThreadState> CurrentShared();

// Throws ThreadKilled for a killed calling thread unless an exception is in
// flight; returns true when the caller should give up without effect.
bool KilledCheck(ThreadState& self);
// KilledCheck plus blocking while suspended.
bool Checkpoint(ThreadState& self);

// Makes the calling thread the main thread.
void BecomeMain();

// Ends the thread's part in messaging: drops queued messages (senders get
// 0), removes timers, and, when the thread itself has ended, its windows.
void CloseQueue(ThreadState& state);
void DestroyWindowsOf(ThreadState& state);

// Deadline for a timeout in milliseconds (INFINITE = none).
Clock::time_point DeadlineAfter(DWORD milliseconds);

// Queue work on the calling thread; all dispatch outside the locks.
// Delivers pending sent messages; returns how many.
int DeliverSentMessages(ThreadState& self);
bool HasInput(ThreadState& self, DWORD wakeMask);
// Nearest due time of the thread's timers (max() when none).
Clock::time_point NextTimerDue(ThreadState& self);

// Hands an exception of a procedure run from the queue to the handler.
void ReportMessageException(std::exception_ptr error);
// DispatchMessage, with exceptions reported instead of thrown (ThreadKilled
// still unwinds).
void DispatchQueued(const MSG& msg);

// MsgWaitForMultipleObjects on the thread's own queue only.
DWORD QueueOnlyWait(ThreadState& self, std::vector<std::shared_ptr<Waitable>>& objects,
                    bool waitAll, Clock::time_point deadline, DWORD wakeMask);
// MsgWaitForMultipleObjects on the main thread when GLib sources count as
// input: blocks in the context's poll without dispatching.
DWORD MainContextWait(ThreadState& self, std::vector<std::shared_ptr<Waitable>>& objects,
                      bool waitAll, Clock::time_point deadline, DWORD wakeMask);

// The main thread's GSource.
void AttachMainSource(ThreadState& state);
// Dispatches what the main queue holds right now (used by the GSource).
void DispatchMainQueue(ThreadState& self);

std::shared_ptr<Window> FindWindow(HWND window);

// Kernel objects that waits accept.
class WaitableObject : public KernelObject {
public:
  virtual std::shared_ptr<Waitable> GetWaitable() const = 0;
};

class ThreadObject final : public WaitableObject {
public:
  explicit ThreadObject(std::shared_ptr<ThreadState> state) : state_(std::move(state)) {}
  std::shared_ptr<Waitable> GetWaitable() const override {
    return std::shared_ptr<Waitable>(state_, &state_->handle);
  }
  const std::shared_ptr<ThreadState>& State() const { return state_; }

private:
  std::shared_ptr<ThreadState> state_;
};

struct EventState {
  Waitable signal;
};

class EventObject final : public WaitableObject {
public:
  explicit EventObject(std::shared_ptr<EventState> state) : state_(std::move(state)) {}
  std::shared_ptr<Waitable> GetWaitable() const override {
    return std::shared_ptr<Waitable>(state_, &state_->signal);
  }
  const std::shared_ptr<EventState>& State() const { return state_; }

private:
  std::shared_ptr<EventState> state_;
};

// The objects behind the handles, or an empty list when one is not
// waitable.
std::vector<std::shared_ptr<Waitable>> WaitablesOf(DWORD count, const HANDLE* handles);

// One check of the objects, under WaitLock(): the index that ends the wait
// (0 for waitAll), consuming auto-reset signals, or -1.
int CheckObjectsLocked(std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll);

// Registers the calling thread as a waiter of the objects for its lifetime.
class WaiterRegistration {
public:
  WaiterRegistration(ThreadState& self, std::vector<std::shared_ptr<Waitable>>& objects);
  ~WaiterRegistration();
  WaiterRegistration(const WaiterRegistration&) = delete;
  WaiterRegistration& operator=(const WaiterRegistration&) = delete;

private:
  ThreadState& self_;
  std::vector<std::shared_ptr<Waitable>>& objects_;
};

}  // namespace qorv::platform::detail
