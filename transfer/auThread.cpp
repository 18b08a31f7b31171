#include "transfer/auThread.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <utility>

#include "platform/messages/Events.h"
#include "platform/messages/Messages.h"
#include "platform/messages/Threads.h"
#include "platform/messages/Windows.h"

namespace qorv {

using namespace platform;

namespace authread_detail {

// Everything of a worker object that its thread and a message in delivery
// touch. The worker object, the running thread and the window procedure
// each hold a reference, so none of them outlives the data it reads.
struct WorkerCore {
  std::uintptr_t id = 0;
  TauCustomThread* component = nullptr;
  TauEventThread* self = nullptr;  // for the FreeOnTerminate handling
  HANDLE handle = nullptr;
  DWORD threadId = 0;

  std::atomic<bool> terminated{false};
  std::atomic<bool> suspended{true};
  std::atomic<bool> freeOnTerminate{false};
  std::atomic<bool> running{false};
  // Set by Kill before the thread is killed: its messages run nothing.
  std::atomic<bool> killed{false};
  std::atomic<std::int32_t> returnValue{0};

  // Written by the worker before the send and read by the main thread while
  // it handles the send; the send orders the two.
  TThreadMethod syncMethod;
  std::exception_ptr syncException;

  TNotifyEvent onExecute;
  TNotifyEvent onException;
  TNotifyEvent onTerminate;

  // Guarded by RegistryLock(): the thread has taken its reference.
  bool entered = false;
  // Guarded by departMutex: the thread has left everything it ran.
  std::mutex departMutex;
  std::condition_variable departed;
  bool left = false;
};

}  // namespace authread_detail

namespace {

using authread_detail::WorkerCore;

// How long a kill waits for the killed thread to leave the code it ran. The
// layer unwinds a killed thread at its next call into it, which in this
// program comes within a block read or a hand-over; only a handler that
// stays outside the layer longer than this can outlast the wait.
constexpr auto kDepartureLimit = std::chrono::seconds(5);

std::mutex& RegistryLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

// Live worker objects by id. An entry lives from the object's construction
// to its destruction.
std::map<std::uintptr_t, std::shared_ptr<WorkerCore>>& Registry() {
  static auto* registry = new std::map<std::uintptr_t, std::shared_ptr<WorkerCore>>;
  return *registry;
}

std::atomic<std::uintptr_t> g_nextId{1};

std::shared_ptr<WorkerCore> FindCore(std::uintptr_t id) {
  std::lock_guard lock(RegistryLock());
  auto it = Registry().find(id);
  return it == Registry().end() ? nullptr : it->second;
}

// The worker core of the calling thread while it runs ThreadProc.
thread_local WorkerCore* t_core = nullptr;

struct ThreadWindowState {
  TCriticalSection lock;
  int count = 0;
  std::atomic<HWND> window{nullptr};
};

ThreadWindowState& WindowState() {
  static auto* state = new ThreadWindowState;
  return *state;
}

// Holds ThreadWindowLock for a scope, so that it is left on every path.
struct WindowLockScope {
  WindowLockScope() { WindowState().lock.Enter(); }
  ~WindowLockScope() { WindowState().lock.Leave(); }
  WindowLockScope(const WindowLockScope&) = delete;
  WindowLockScope& operator=(const WindowLockScope&) = delete;
};

bool ComponentDestroying(TauCustomThread* component) {
  return component->BeingDestroyed() ||
         component->ComponentState().Contains(csDestroying);
}

// Main thread only: the component or its owner is going away.
bool ComponentOrOwnerDestroying(TauCustomThread* component) {
  if (ComponentDestroying(component)) return true;
  TComponent* owner = component->Owner();
  return owner != nullptr && owner->ComponentState().Contains(csDestroying);
}

void CoreCallOnException(WorkerCore& core) {
  if (ComponentDestroying(core.component) || !core.onException) return;
  core.onException(core.component);
}

void CoreSynchronize(WorkerCore& core, TThreadMethod method) {
  core.syncException = nullptr;
  core.syncMethod = std::move(method);
  SendMessage(WindowState().window.load(), WM_EXECMETHOD, 0, static_cast<LPARAM>(core.id));
  std::exception_ptr error = std::exchange(core.syncException, nullptr);
  core.syncMethod = nullptr;
  if (error && !core.component->HandleExceptions) std::rethrow_exception(error);
}

void CoreCallOnTerminate(WorkerCore& core) {
  TauCustomThread* component = core.component;
  const bool freeOwner = component->FreeOnTerminate;
  if (core.onTerminate && !ComponentDestroying(component)) {
    if (component->HandleExceptions) {
      try {
        core.onTerminate(component);
      } catch (const ThreadKilled&) {
        throw;
      } catch (...) {
        if (!core.killed.load() && core.onException && !ComponentDestroying(component))
          CoreCallOnException(core);
      }
    } else {
      core.onTerminate(component);
    }
  }
  // A handler that freed the component has killed this worker on the way.
  if (core.killed.load()) return;
  if (freeOwner && component->Owner() != nullptr) {
    component->SetThread(component->Thread()->Duplicate());
    component->Owner()->Free();
  }
}

void CoreExecute(WorkerCore& core) {
  TauCustomThread* component = core.component;
  if (!core.onExecute || component->BeingDestroyed()) return;
  if (!component->HandleExceptions) {
    core.onExecute(component);
    return;
  }
  try {
    core.onExecute(component);
  } catch (const ThreadKilled&) {
    throw;
  } catch (...) {
    if (core.onException && !component->BeingDestroyed())
      CoreSynchronize(core, [&core] { CoreCallOnException(core); });
  }
}

void CoreDoTerminate(WorkerCore& core) {
  if (core.onTerminate) CoreSynchronize(core, [&core] { CoreCallOnTerminate(core); });
}

LRESULT ThreadWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_EXECMETHOD) return DefWindowProc(window, message, wParam, lParam);
  std::shared_ptr<WorkerCore> core = FindCore(static_cast<std::uintptr_t>(lParam));
  if (!core || core->killed.load() || !core->syncMethod) return 0;
  if (ComponentOrOwnerDestroying(core->component)) return 0;
  core->syncException = nullptr;
  try {
    TThreadMethod method = core->syncMethod;
    method();
  } catch (const ThreadKilled&) {
    throw;
  } catch (...) {
    core->syncException = std::current_exception();
  }
  return 0;
}

void AcquireThreadWindow() {
  ThreadWindowState& state = WindowState();
  WindowLockScope lock;
  if (state.count == 0) {
    WNDCLASS windowClass{};
    windowClass.style = 0;
    windowClass.lpfnWndProc = &ThreadWindowProc;
    windowClass.hInstance = GetModuleInstance();
    windowClass.lpszClassName = kThreadWindowClass;
    RegisterClass(&windowClass);
    state.window.store(CreateWindowEx(0, kThreadWindowClass, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleInstance(), nullptr));
  }
  ++state.count;
}

void ReleaseThreadWindow() {
  ThreadWindowState& state = WindowState();
  WindowLockScope lock;
  if (--state.count == 0) {
    DestroyWindow(state.window.exchange(nullptr));
    UnregisterClass(kThreadWindowClass, GetModuleInstance());
  }
}

// Marks the core departed however ThreadProc ends.
struct DepartureGuard {
  WorkerCore& core;
  ~DepartureGuard() {
    t_core = nullptr;
    std::lock_guard lock(core.departMutex);
    core.left = true;
    core.departed.notify_all();
  }
};

const int kPriorityValues[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                               THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                               THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                               THREAD_PRIORITY_TIME_CRITICAL};

}  // namespace

int ThreadPriorityValue(TThreadPriority Priority) {
  return kPriorityValues[static_cast<int>(Priority)];
}

TThreadPriority ThreadPriorityFromValue(int Value) {
  for (int i = 0; i <= static_cast<int>(tpTimeCritical); ++i) {
    if (kPriorityValues[i] == Value) return static_cast<TThreadPriority>(i);
  }
  return tpNormal;
}

int ThreadWindowCount() {
  WindowLockScope lock;
  return WindowState().count;
}

HWND ThreadWindow() { return WindowState().window.load(); }

// ---------------------------------------------------------------------------
// TauEventThread

TauEventThread::TauEventThread(TauCustomThread* ThreadComponent) : core_(std::make_shared<WorkerCore>()) {
  core_->id = g_nextId.fetch_add(1);
  core_->component = ThreadComponent;
  core_->self = this;
  {
    std::lock_guard lock(RegistryLock());
    Registry()[core_->id] = core_;
  }
  AcquireThreadWindow();
  core_->suspended.store(true);
  DWORD threadId = 0;
  core_->handle = CreateThread(nullptr, 0, &TauEventThread::ThreadProc,
                               reinterpret_cast<void*>(core_->id), CREATE_SUSPENDED, &threadId);
  core_->threadId = threadId;
}

TauEventThread::~TauEventThread() {
  core_->terminated.store(true);
  core_->self = nullptr;
  const bool ownThread = GetCurrentThreadId() == core_->threadId;
  bool entered = false;
  if (!ownThread) {
    if (core_->running.load()) {
      WaitFor();
    } else if (core_->suspended.load()) {
      // A thread that never ran is resumed so that it ends at once; a
      // Suspend on top of its creation (the HTTP component's destructor
      // makes one) must not leave it parked for ever.
      DWORD previous = ResumeThread(core_->handle);
      while (previous > 1 && previous != 0xFFFFFFFF) previous = ResumeThread(core_->handle);
      if (previous == 1) WaitFor();
    }
  }
  {
    std::lock_guard lock(RegistryLock());
    entered = core_->entered;
    Registry().erase(core_->id);
  }
  // A killed thread counts as ended for the layer while it may still be on
  // its way out of OnExecute's handler; whatever it touches must stay valid
  // until it has left.
  if (entered && !ownThread) {
    std::unique_lock lock(core_->departMutex);
    core_->departed.wait_for(lock, kDepartureLimit, [this] { return core_->left; });
  }
  if (core_->handle != nullptr) CloseHandle(core_->handle);
  core_->handle = nullptr;
  ReleaseThreadWindow();
}

DWORD TauEventThread::ThreadProc(void* Parameter) {
  std::shared_ptr<WorkerCore> core;
  {
    std::lock_guard lock(RegistryLock());
    auto it = Registry().find(reinterpret_cast<std::uintptr_t>(Parameter));
    // No entry: the object was freed before its thread ever ran.
    if (it == Registry().end()) return 0;
    core = it->second;
    core->entered = true;
  }
  DepartureGuard guard{*core};
  t_core = core.get();
  if (core->terminated.load() && !core->running.load()) {
    // Destroyed before it ran: no event fires. The object is not freed
    // here, since its destructor is what ended it. A run that Execute
    // started (Running already set) and that was asked to stop before its
    // thread got here still runs, so that OnExecute sees the stop and the
    // run ends with OnTerminate like any other.
    return static_cast<DWORD>(core->returnValue.load());
  }
  core->running.store(true);
  std::exception_ptr pending;
  try {
    CoreExecute(*core);
  } catch (const ThreadKilled&) {
    // Killed: none of the ending steps; Running stays set on this object.
    throw;
  } catch (...) {
    pending = std::current_exception();
  }
  const bool freeSelf = core->freeOnTerminate.load();
  const DWORD exitCode = static_cast<DWORD>(core->returnValue.load());
  try {
    CoreDoTerminate(*core);
  } catch (const ThreadKilled&) {
    throw;
  } catch (...) {
    if (!pending) pending = std::current_exception();
  }
  core->running.store(false);
  if (freeSelf && core->self != nullptr) {
    TauEventThread* self = core->self;
    self->Free();
  }
  // An exception still in flight ends with the thread.
  if (pending) std::rethrow_exception(pending);
  return exitCode;
}

void TauEventThread::Execute() { CoreExecute(*core_); }
void TauEventThread::DoTerminate() { CoreDoTerminate(*core_); }
void TauEventThread::CallOnTerminate() { CoreCallOnTerminate(*core_); }
void TauEventThread::CallOnException() { CoreCallOnException(*core_); }
void TauEventThread::Synchronize(TThreadMethod Method) { CoreSynchronize(*core_, std::move(Method)); }

void TauEventThread::Suspend() {
  core_->suspended.store(true);
  SuspendThread(core_->handle);
}

void TauEventThread::Resume() {
  if (ResumeThread(core_->handle) == 1) core_->suspended.store(false);
}

void TauEventThread::SetSuspended(bool Value) {
  if (Value == core_->suspended.load()) return;
  if (Value) Suspend();
  else Resume();
}

void TauEventThread::Terminate() { core_->terminated.store(true); }

DWORD TauEventThread::WaitFor() {
  HANDLE handle = core_->handle;
  if (GetCurrentThreadId() == MainThreadID()) {
    // Sent messages keep being delivered, so a worker blocked in
    // Synchronize can finish; posted messages stay queued.
    while (MsgWaitForMultipleObjects(1, &handle, 0, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
      MSG msg;
      PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
  } else {
    WaitForSingleObject(handle, INFINITE);
  }
  DWORD exitCode = 0;
  GetExitCodeThread(handle, &exitCode);
  return exitCode;
}

TThreadPriority TauEventThread::GetPriority() const {
  return ThreadPriorityFromValue(GetThreadPriority(core_->handle));
}

void TauEventThread::SetPriority(TThreadPriority Value) {
  SetThreadPriority(core_->handle, ThreadPriorityValue(Value));
}

TauEventThread* TauEventThread::Duplicate() {
  auto* successor = new TauEventThread(core_->component);
  try {
    successor->SetPriority(GetPriority());
    successor->core_->onTerminate = core_->onTerminate;
    successor->core_->onExecute = core_->onExecute;
    successor->core_->onException = core_->onException;
  } catch (...) {
    successor->Free();
    throw;
  }
  return successor;
}

TauEventThread* TauEventThread::Kill() {
  core_->killed.store(true);
  // On the worker thread itself this throws ThreadKilled and ends here.
  TerminateThread(core_->handle, 0);
  TauEventThread* successor = Duplicate();
  Free();
  return successor;
}

HANDLE TauEventThread::Handle() const { return core_->handle; }
DWORD TauEventThread::ThreadID() const { return core_->threadId; }
bool TauEventThread::Terminated() const { return core_->terminated.load(); }
bool TauEventThread::Suspended() const { return core_->suspended.load(); }
bool TauEventThread::Running() const { return core_->running.load(); }
bool TauEventThread::FreeOnTerminate() const { return core_->freeOnTerminate.load(); }
void TauEventThread::SetFreeOnTerminate(bool Value) { core_->freeOnTerminate.store(Value); }
std::int32_t TauEventThread::ReturnValue() const { return core_->returnValue.load(); }
TauCustomThread* TauEventThread::ThreadComponent() const { return core_->component; }
const TNotifyEvent& TauEventThread::OnExecute() const { return core_->onExecute; }
const TNotifyEvent& TauEventThread::OnException() const { return core_->onException; }
const TNotifyEvent& TauEventThread::OnTerminate() const { return core_->onTerminate; }
void TauEventThread::SetOnExecute(TNotifyEvent Event) { core_->onExecute = std::move(Event); }
void TauEventThread::SetOnException(TNotifyEvent Event) { core_->onException = std::move(Event); }
void TauEventThread::SetOnTerminate(TNotifyEvent Event) { core_->onTerminate = std::move(Event); }
std::uintptr_t TauEventThread::Id() const { return core_->id; }

// ---------------------------------------------------------------------------
// TauCustomThread

const TClassInfo& TauCustomThread::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TauCustomThread>("TauCustomThread", TComponent::StaticClassInfo()).Build();
  return info;
}

TauCustomThread::TauCustomThread(TComponent* AOwner) : TComponent(AOwner) {
  Suspended_ = true;
  HandleExceptions = true;
  Thread_ = new TauEventThread(this);
}

TauCustomThread::~TauCustomThread() {
  destroying_.store(true);
  if (Thread_ != nullptr && Thread_->Running()) Terminate(true);
  FreeAndNil(Thread_);
}

void TauCustomThread::BeforeDestruction() {
  destroying_.store(true);
  TComponent::BeforeDestruction();
}

bool TauCustomThread::BeingDestroyed() const { return destroying_.load(); }

void TauCustomThread::Loaded() {
  TComponent::Loaded();
  SetSuspended(Suspended_);
}

bool TauCustomThread::Execute() {
  Terminate(true);
  if (FreeOnTerminate) Thread_->SetFreeOnTerminate(true);
  TauEventThread* started = Thread_;
  // Busy from the moment of the start, so that a caller that looks at
  // Running right after Execute sees the run.
  started->core_->running.store(true);
  Thread_->Resume();
  if (!WaitThread) return true;
  for (;;) {
    // A handler may have replaced the worker (a hard Terminate); the run we
    // waited for has ended then.
    if (Thread_ != started) return true;
    HANDLE handle = Thread_->Handle();
    const DWORD result =
        MsgWaitForMultipleObjects(1, &handle, 0, WaitTimeout == 0 ? INFINITE : WaitTimeout, QS_ALLINPUT);
    if (result == WAIT_TIMEOUT) {
      bool terminateThread = true;
      if (OnWaitTimeoutExpired) OnWaitTimeoutExpired(this, terminateThread);
      if (terminateThread) Terminate(true);
      return !terminateThread;
    }
    ProcessMessages();
    if (result != WAIT_OBJECT_0 + 1 || ComponentState().Contains(csDestroying) || BeingDestroyed() ||
        ApplicationTerminated())
      return true;
  }
}

void TauCustomThread::Suspend() { Thread_->Suspend(); }

void TauCustomThread::Synchronize(TThreadMethod Method) {
  if (destroying_.load()) return;
  if (t_core != nullptr && t_core->component == this) {
    CoreSynchronize(*t_core, std::move(Method));
    return;
  }
  Thread_->Synchronize(std::move(Method));
}

void TauCustomThread::Terminate(bool Hard) {
  // On the worker thread, the call is about that thread's own worker
  // object, which the main thread may have replaced meanwhile.
  if (t_core != nullptr && t_core->component == this) {
    if (!Hard) {
      t_core->terminated.store(true);
      return;
    }
    t_core->killed.store(true);
    TerminateThread(t_core->handle, 0);
    return;
  }
  if (Thread_ == nullptr) return;
  if (!Hard) Thread_->Terminate();
  else Thread_ = Thread_->Kill();
}

bool TauCustomThread::Running() const {
  if (t_core != nullptr && t_core->component == this) return t_core->running.load();
  return Thread_->Running();
}

bool TauCustomThread::Terminated() const {
  if (t_core != nullptr && t_core->component == this) return t_core->terminated.load();
  return Thread_->Terminated();
}

bool TauCustomThread::Suspended() const {
  if (ComponentState().Contains(csDesigning)) return Suspended_;
  return Thread_->Suspended();
}

void TauCustomThread::SetSuspended(bool Value) {
  Suspended_ = Value;
  if (!ComponentState().Contains(csDesigning)) Thread_->SetSuspended(Value);
}

TThreadPriority TauCustomThread::Priority() const { return Thread_->GetPriority(); }
void TauCustomThread::SetPriority(TThreadPriority Value) { Thread_->SetPriority(Value); }
void TauCustomThread::SetOnExecute(TNotifyEvent Event) { Thread_->SetOnExecute(std::move(Event)); }
void TauCustomThread::SetOnException(TNotifyEvent Event) { Thread_->SetOnException(std::move(Event)); }
void TauCustomThread::SetOnTerminate(TNotifyEvent Event) { Thread_->SetOnTerminate(std::move(Event)); }

}  // namespace qorv
