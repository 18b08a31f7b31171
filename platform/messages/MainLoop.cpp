// The main thread's queue on GLib's default main context, the waits that
// block in that context's poll, and the application-level loop calls.

#include <glib.h>

#include <algorithm>
#include <climits>

#include "platform/messages/Internal.h"

namespace qorv::platform {
namespace detail {
namespace {

std::atomic<bool> g_terminated{false};

// Bounds one ProcessMessages call, so that a source that is always ready
// cannot freeze its caller.
constexpr int kProcessLimit = 10000;

struct QueueSource {
  GSource source;
  ThreadState* state;
};

ThreadState& StateOf(GSource* source) { return *reinterpret_cast<QueueSource*>(source)->state; }

gint MillisecondsUntil(Clock::time_point due, Clock::time_point now) {
  if (due <= now) return 0;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
  return static_cast<gint>(std::min<decltype(left)>(left, INT_MAX));
}

gboolean QueuePrepare(GSource* source, gint* timeout) {
  ThreadState& state = StateOf(source);
  std::lock_guard lock(state.mutex);
  *timeout = -1;
  if (!state.sent.empty() || !state.posted.empty()) {
    *timeout = 0;
    return TRUE;
  }
  if (state.timers.empty()) return FALSE;
  Clock::time_point next = Clock::time_point::max();
  for (const Timer& timer : state.timers) next = std::min(next, timer.due);
  *timeout = MillisecondsUntil(next, Clock::now());
  return *timeout == 0 ? TRUE : FALSE;
}

gboolean QueueCheck(GSource* source) {
  ThreadState& state = StateOf(source);
  std::lock_guard lock(state.mutex);
  if (!state.sent.empty() || !state.posted.empty()) return TRUE;
  const Clock::time_point now = Clock::now();
  for (const Timer& timer : state.timers) {
    if (timer.due <= now) return TRUE;
  }
  return FALSE;
}

gboolean QueueDispatch(GSource* source, GSourceFunc, gpointer) {
  try {
    DispatchMainQueue(StateOf(source));
  } catch (...) {
    // Only ThreadKilled gets here (everything else was reported); nothing
    // may unwind into GLib, and a killed main thread unwinds at its next
    // call into the layer instead.
  }
  return G_SOURCE_CONTINUE;
}

GSourceFuncs g_queueFuncs = {QueuePrepare, QueueCheck, QueueDispatch, nullptr, nullptr, nullptr};

struct MainSourceSlot {
  std::mutex mutex;
  GSource* source = nullptr;
  // The main thread's state lives as long as the process, because the
  // source points at it.
  std::vector<std::shared_ptr<ThreadState>> keep;
};

MainSourceSlot& Slot() {
  static auto* slot = new MainSourceSlot;
  return *slot;
}

}  // namespace

DWORD QueueOnlyWait(ThreadState& self, std::vector<std::shared_ptr<Waitable>>& objects,
                    bool waitAll, Clock::time_point deadline, DWORD wakeMask) {
  constexpr DWORD queueBits = QS_SENDMESSAGE | QS_POSTMESSAGE | QS_ALLPOSTMESSAGE | QS_TIMER;
  WaiterRegistration registration(self, objects);
  const DWORD count = static_cast<DWORD>(objects.size());
  for (;;) {
    const std::uint64_t seen = self.WakeCount();
    if (Checkpoint(self)) return WAIT_FAILED;
    const bool input = HasInput(self, wakeMask & queueBits);
    {
      std::lock_guard lock(WaitLock());
      if (!waitAll) {
        const int index = CheckObjectsLocked(objects, false);
        if (index >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(index);
      } else if (input && CheckObjectsLocked(objects, true) >= 0) {
        return WAIT_OBJECT_0;
      }
    }
    if (!waitAll && input) return WAIT_OBJECT_0 + count;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return WAIT_TIMEOUT;
    Clock::time_point until = deadline;
    const Clock::time_point next = NextTimerDue(self);
    if (next > now) until = std::min(until, next);
    self.WaitForWake(seen, until);
  }
}

void AttachMainSource(ThreadState& state) {
  MainSourceSlot& slot = Slot();
  std::lock_guard lock(slot.mutex);
  if (slot.source != nullptr) {
    if (&StateOf(slot.source) == &state) return;
    StateOf(slot.source).isMain.store(false);
    g_source_destroy(slot.source);
    g_source_unref(slot.source);
    slot.source = nullptr;
  }
  slot.keep.push_back(state.shared_from_this());
  GSource* source = g_source_new(&g_queueFuncs, sizeof(QueueSource));
  reinterpret_cast<QueueSource*>(source)->state = &state;
  // Procedures run nested loops (modal dialogs, waits on a signal) that must
  // go on delivering this queue.
  g_source_set_can_recurse(source, TRUE);
  g_source_set_name(source, "qorv message queue");
  g_source_attach(source, nullptr);
  slot.source = source;
  state.source = source;
  state.isMain.store(true);
}

DWORD MainContextWait(ThreadState& self, std::vector<std::shared_ptr<Waitable>>& objects,
                      bool waitAll, Clock::time_point deadline, DWORD wakeMask) {
  GMainContext* context = g_main_context_default();
  // Waiting for all objects counts only the layer's own queue as input:
  // ready GLib sources would otherwise turn the wait into a busy loop.
  if (waitAll || !g_main_context_acquire(context)) {
    return QueueOnlyWait(self, objects, waitAll, deadline, wakeMask);
  }
  struct Release {
    GMainContext* context;
    ~Release() { g_main_context_release(context); }
  } release{context};
  WaiterRegistration registration(self, objects);
  const DWORD count = static_cast<DWORD>(objects.size());
  std::vector<GPollFD> fds(8);
  GPollFunc poll = g_main_context_get_poll_func(context);
  for (;;) {
    if (Checkpoint(self)) return WAIT_FAILED;
    {
      std::lock_guard lock(WaitLock());
      const int index = CheckObjectsLocked(objects, false);
      if (index >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(index);
    }
    if (HasInput(self, wakeMask)) return WAIT_OBJECT_0 + count;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return WAIT_TIMEOUT;

    // One iteration of the context without its dispatch step: sources found
    // ready stay ready, and the caller's next iteration dispatches them.
    gint priority = 0;
    const gboolean ready = g_main_context_prepare(context, &priority);
    gint timeout = -1;
    gint used;
    for (;;) {
      used = g_main_context_query(context, priority, &timeout, fds.data(),
                                  static_cast<gint>(fds.size()));
      if (used <= static_cast<gint>(fds.size())) break;
      fds.resize(static_cast<std::size_t>(used));
    }
    if (ready) timeout = 0;
    if (deadline != Clock::time_point::max()) {
      const gint left = MillisecondsUntil(deadline, now);
      if (timeout < 0 || left < timeout) timeout = left;
    }
    poll(fds.data(), static_cast<guint>(used), timeout);
    const gboolean dispatchable =
        g_main_context_check(context, priority, fds.data(), used);
    {
      std::lock_guard lock(WaitLock());
      const int index = CheckObjectsLocked(objects, false);
      if (index >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(index);
    }
    if (ready || dispatchable) return WAIT_OBJECT_0 + count;
  }
}

}  // namespace detail

using namespace detail;

void ProcessMessages() {
  ThreadState& self = Current();
  if (Checkpoint(self)) return;
  if (self.isMain.load()) {
    for (int i = 0; i < kProcessLimit; ++i) {
      if (!g_main_context_iteration(nullptr, FALSE)) break;
    }
    return;
  }
  MSG msg;
  for (int i = 0; i < kProcessLimit && PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (msg.message == WM_QUIT && msg.hwnd == nullptr) {
      // Left for the thread's own loop, which ends on it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    DispatchQueued(msg);
  }
}

void HandleMessage() {
  ThreadState& self = Current();
  if (Checkpoint(self)) return;
  if (self.isMain.load()) {
    g_main_context_iteration(nullptr, TRUE);
    return;
  }
  MSG msg;
  if (GetMessage(&msg, nullptr, 0, 0) > 0) DispatchQueued(msg);
}

void RunMessageLoop() {
  ThreadState& self = Current();
  if (self.isMain.load()) {
    while (!ApplicationTerminated()) {
      if (Checkpoint(self)) return;
      g_main_context_iteration(nullptr, TRUE);
    }
    return;
  }
  MSG msg;
  while (!ApplicationTerminated() && GetMessage(&msg, nullptr, 0, 0) > 0) DispatchQueued(msg);
}

void TerminateApplication() {
  g_terminated.store(true);
  g_main_context_wakeup(nullptr);
}

bool ApplicationTerminated() { return g_terminated.load(); }

}  // namespace qorv::platform
