// auThread: the background worker of the HTTP component.
//
// TauCustomThread is a component that its owner (the HTTP component)
// creates, configures and frees on the main thread. It always holds exactly
// one TauEventThread, the worker object, which wraps one thread of the
// layer, created suspended. A worker object runs at most once: Execute
// replaces it by a fresh one (killing a thread that still runs) and resumes
// that one. OnExecute runs on the worker thread; OnTerminate, OnException,
// OnWaitTimeoutExpired and every method handed over with Synchronize run on
// the main thread, through the hidden window of the class "TauThreadWindow"
// that all worker objects of the process share, by a blocking send of
// WM_EXECMETHOD (listed in platform/messages/MessageList.h). The main thread
// therefore has to keep delivering sent messages while a run goes on; both
// waits here do.
//
// Threads. Everything is called on the main thread except what a comment
// names otherwise: Synchronize, Terminated and Running are for the worker
// thread too, and Terminate(False) for either thread. The flags that cross
// threads are atomics. The hidden window belongs to the thread that creates
// the first worker object (the main thread in this program); a module-wide
// lock guards its creation and destruction.
//
// Ownership and kills. A worker object owns its thread handle. The thread
// does not touch the object itself but a shared core that the object, the
// running thread and a message being delivered each hold a reference to, so
// that a worker object freed by Kill while its thread still runs (a kill is
// cooperative in the layer: the thread unwinds at its next call into it)
// leaves nothing dangling. Kill also waits, for a bounded time, until the
// killed thread has really left the code it ran, so that data its OnExecute
// handler worked on may be freed by the caller right afterwards. A message
// that a killed worker sent, or one from a worker that no longer exists,
// runs nothing.
//
// Failures. Nothing here throws across threads. An exception of OnExecute
// or OnTerminate is caught (HandleExceptions, True by default) and reported
// through OnException on the main thread; an exception of a synchronized
// method is caught on the main thread and handed to the worker, which drops
// it (HandleExceptions) or raises it again. Failures of the layer's thread,
// window and class calls are not examined.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/Classes.h"
#include "platform/core/Handles.h"
#include "platform/messages/MessageList.h"

namespace qorv {

using platform::DWORD;
using platform::HANDLE;
using platform::TComponent;
using platform::TNotifyEvent;
using platform::TObject;

using platform::TThreadPriority;
using platform::tpIdle;
using platform::tpLowest;
using platform::tpLower;
using platform::tpNormal;
using platform::tpHigher;
using platform::tpHighest;
using platform::tpTimeCritical;

// The system's priority value of a level, and back (values outside the
// seven levels read as tpNormal).
int ThreadPriorityValue(TThreadPriority Priority);
TThreadPriority ThreadPriorityFromValue(int Value);

using TauThreadWaitTimeoutEvent = platform::Method<void(TObject* Sender, bool& TerminateThread)>;
// A method for Synchronize: run on the main thread, no arguments.
using TThreadMethod = std::function<void()>;

inline constexpr const char* kThreadWindowClass = "TauThreadWindow";

class TauCustomThread;

namespace authread_detail {
struct WorkerCore;
}

// The worker object: one thread of the layer, created suspended, run once.
class TauEventThread : public TObject {
public:
  explicit TauEventThread(TauCustomThread* ThreadComponent);
  // Asks the thread to stop; a thread that never ran is resumed so that it
  // ends at once without events; a running one is waited for (delivering
  // sent messages on the main thread).
  ~TauEventThread() override;

  // Worker thread: runs OnExecute's handler; returns normally after a
  // caught exception.
  void Execute();
  // Worker thread: has CallOnTerminate run on the main thread.
  void DoTerminate();
  // Main thread.
  void CallOnTerminate();
  void CallOnException();
  // Worker thread: runs Method on the main thread and waits for it.
  void Synchronize(TThreadMethod Method);

  void Suspend();
  void Resume();
  void SetSuspended(bool Value);
  // Either thread: asks for a stop.
  void Terminate();
  // Either thread: waits until the thread has ended; its exit code.
  DWORD WaitFor();

  TThreadPriority GetPriority() const;
  void SetPriority(TThreadPriority Value);

  // A fresh suspended successor with this object's priority and events.
  TauEventThread* Duplicate();
  // Kills the thread, frees this object and returns its successor. On the
  // worker thread itself the thread ends right here (ThreadKilled unwinds
  // it) and nothing is duplicated or freed.
  TauEventThread* Kill();

  HANDLE Handle() const;
  DWORD ThreadID() const;
  bool Terminated() const;
  bool Suspended() const;
  bool Running() const;
  bool FreeOnTerminate() const;
  void SetFreeOnTerminate(bool Value);
  std::int32_t ReturnValue() const;
  TauCustomThread* ThreadComponent() const;

  const TNotifyEvent& OnExecute() const;
  const TNotifyEvent& OnException() const;
  const TNotifyEvent& OnTerminate() const;
  void SetOnExecute(TNotifyEvent Event);
  void SetOnException(TNotifyEvent Event);
  void SetOnTerminate(TNotifyEvent Event);

  // For tests and the window procedure: the core's process-wide id, which
  // travels as the lParam of WM_EXECMETHOD.
  std::uintptr_t Id() const;

private:
  friend class TauCustomThread;
  static DWORD ThreadProc(void* Parameter);
  std::shared_ptr<authread_detail::WorkerCore> core_;
};

// The component around the worker object.
class TauCustomThread : public TComponent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TauCustomThread(TComponent* AOwner);
  ~TauCustomThread() override;

  // Applies the stored Suspended to the worker.
  void Loaded() override;

  // Starts a fresh run. Without WaitThread it returns True at once; with it
  // it waits (processing messages) until the run ends, True, or until a
  // single wait ran into WaitTimeout and OnWaitTimeoutExpired left
  // TerminateThread set, False after killing the run.
  bool Execute();
  void Suspend();
  // Worker thread: runs Method on the main thread; nothing while the owner
  // is being destroyed.
  void Synchronize(TThreadMethod Method);
  // Either thread. Hard False only marks the worker Terminated; Hard True
  // kills its thread and replaces the worker object.
  void Terminate(bool Hard);

  bool Running() const;
  bool Terminated() const;
  bool Suspended() const;
  void SetSuspended(bool Value);
  TThreadPriority Priority() const;
  void SetPriority(TThreadPriority Value);

  void SetOnExecute(TNotifyEvent Event);
  void SetOnException(TNotifyEvent Event);
  void SetOnTerminate(TNotifyEvent Event);

  TauEventThread* Thread() const { return Thread_; }
  // Used by CallOnTerminate's FreeOnTerminate handling.
  void SetThread(TauEventThread* Value) { Thread_ = Value; }

  // True from the start of this component's destruction on; readable from
  // the worker thread.
  bool BeingDestroyed() const;

  bool HandleExceptions = true;
  bool FreeOnTerminate = false;
  bool WaitThread = false;
  DWORD WaitTimeout = 0;
  TauThreadWaitTimeoutEvent OnWaitTimeoutExpired;

protected:
  void BeforeDestruction() override;

private:
  TauEventThread* Thread_ = nullptr;
  bool Suspended_ = true;
  std::atomic<bool> destroying_{false};
};

// The number of live worker objects and the shared window, for tests.
int ThreadWindowCount();
platform::HWND ThreadWindow();

}  // namespace qorv
