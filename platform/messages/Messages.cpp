#include "platform/messages/Messages.h"

#include <algorithm>
#include <cstdio>

#include "platform/messages/Internal.h"

namespace qorv::platform {
namespace detail {
namespace {

std::mutex& HandlerLock() {
  static auto* lock = new std::mutex;
  return *lock;
}

MessageExceptionHandler& Handler() {
  static auto* handler = new MessageExceptionHandler;
  return *handler;
}

DWORD TickNow() {
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                Clock::now().time_since_epoch())
                                .count());
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && msg.hwnd != window) return false;
  if (filterMin == 0 && filterMax == 0) return true;
  return msg.message >= filterMin && msg.message <= filterMax;
}

void Complete(SentMessage& item, SentMessage::State state) {
  item.state.store(state, std::memory_order_release);
  item.sender->Wake();
}

// Runs one sent message on its window's owner (the calling thread).
void DispatchSent(const std::shared_ptr<SentMessage>& item) {
  int expected = SentMessage::Queued;
  if (!item->state.compare_exchange_strong(expected, SentMessage::Running)) return;
  if (!item->window->alive.load()) {
    Complete(*item, SentMessage::Dropped);
    return;
  }
  try {
    item->result = item->window->procedure(reinterpret_cast<HWND>(item->window->id),
                                           item->message, item->wParam, item->lParam);
  } catch (const ThreadKilled&) {
    Complete(*item, SentMessage::Dropped);
    throw;
  } catch (...) {
    item->result = 0;
    Complete(*item, SentMessage::Done);
    ReportMessageException(std::current_exception());
    return;
  }
  Complete(*item, SentMessage::Done);
}

bool TimerDueLocked(const ThreadState& self, Clock::time_point now) {
  for (const Timer& timer : self.timers) {
    if (timer.due <= now) return true;
  }
  return false;
}

MSG TimerMessage(const Timer& timer) {
  MSG msg;
  msg.hwnd = timer.window;
  msg.message = WM_TIMER;
  msg.wParam = timer.id;
  msg.lParam = reinterpret_cast<LPARAM>(timer.procedure);
  msg.time = TickNow();
  return msg;
}

}  // namespace

void ReportMessageException(std::exception_ptr error) {
  MessageExceptionHandler handler;
  {
    std::lock_guard lock(HandlerLock());
    handler = Handler();
  }
  if (handler) {
    handler(error);
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qorv: exception in a window procedure: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "qorv: exception in a window procedure\n");
  }
}

int DeliverSentMessages(ThreadState& self) {
  int delivered = 0;
  for (;;) {
    std::shared_ptr<SentMessage> item;
    {
      std::lock_guard lock(self.mutex);
      if (self.sent.empty()) break;
      // One at a time rather than a swapped-out batch: a procedure may run a
      // nested loop, and the messages behind it must stay reachable there.
      item = std::move(self.sent.front());
      self.sent.pop_front();
    }
    DispatchSent(item);
    ++delivered;
  }
  return delivered;
}

bool HasInput(ThreadState& self, DWORD wakeMask) {
  std::lock_guard lock(self.mutex);
  if ((wakeMask & QS_SENDMESSAGE) != 0 && !self.sent.empty()) return true;
  if ((wakeMask & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) != 0 && !self.posted.empty()) return true;
  if ((wakeMask & QS_TIMER) != 0 && TimerDueLocked(self, Clock::now())) return true;
  return false;
}

Clock::time_point NextTimerDue(ThreadState& self) {
  std::lock_guard lock(self.mutex);
  Clock::time_point next = Clock::time_point::max();
  for (const Timer& timer : self.timers) next = std::min(next, timer.due);
  return next;
}

void CloseQueue(ThreadState& state) {
  std::deque<std::shared_ptr<SentMessage>> dropped;
  {
    std::lock_guard lock(state.mutex);
    state.closed = true;
    dropped.swap(state.sent);
    state.posted.clear();
    state.timers.clear();
  }
  for (auto& item : dropped) {
    int expected = SentMessage::Queued;
    if (item->state.compare_exchange_strong(expected, SentMessage::Dropped)) item->sender->Wake();
  }
}

void DispatchQueued(const MSG& msg) {
  try {
    DispatchMessage(&msg);
  } catch (const ThreadKilled&) {
    throw;
  } catch (...) {
    ReportMessageException(std::current_exception());
  }
}

void DispatchMainQueue(ThreadState& self) {
  DeliverSentMessages(self);
  std::size_t count;
  {
    std::lock_guard lock(self.mutex);
    count = self.posted.size();
  }
  // Only what was there on entry, so that a procedure that posts again does
  // not keep the rest of the context from running.
  for (std::size_t i = 0; i < count; ++i) {
    MSG msg;
    {
      std::lock_guard lock(self.mutex);
      if (self.posted.empty()) break;
      msg = self.posted.front();
      self.posted.pop_front();
    }
    if (msg.message == WM_QUIT && msg.hwnd == nullptr) {
      TerminateApplication();
      continue;
    }
    DispatchQueued(msg);
  }
  std::vector<MSG> ticks;
  {
    std::lock_guard lock(self.mutex);
    const Clock::time_point now = Clock::now();
    for (Timer& timer : self.timers) {
      if (timer.due > now) continue;
      ticks.push_back(TimerMessage(timer));
      timer.due = now + timer.interval;
    }
  }
  for (const MSG& tick : ticks) {
    bool stillSet;
    {
      // An earlier tick's procedure may have killed this timer.
      std::lock_guard lock(self.mutex);
      stillSet = std::any_of(self.timers.begin(), self.timers.end(), [&](const Timer& timer) {
        return timer.window == tick.hwnd && timer.id == tick.wParam;
      });
    }
    if (stillSet) DispatchQueued(tick);
  }
}

}  // namespace detail

using namespace detail;

void SetMessageExceptionHandler(MessageExceptionHandler handler) {
  std::lock_guard lock(HandlerLock());
  Handler() = std::move(handler);
}

void InitMessageLoop() { BecomeMain(); }

LRESULT SendMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  ThreadState& self = Current();
  if (Checkpoint(self)) return 0;
  std::shared_ptr<Window> window = FindWindow(handle);
  if (!window) return 0;
  std::shared_ptr<ThreadState> owner = window->owner.lock();
  if (!owner) return 0;
  if (owner.get() == &self) return window->procedure(handle, message, wParam, lParam);

  auto item = std::make_shared<SentMessage>();
  item->window = window;
  item->message = message;
  item->wParam = wParam;
  item->lParam = lParam;
  item->sender = CurrentShared();
  {
    std::lock_guard lock(self.mutex);
    self.outgoing.push_back(item);
  }
  // However this ends, a message that was not picked up yet is withdrawn.
  struct Withdraw {
    ThreadState& self;
    std::shared_ptr<SentMessage>& item;
    ~Withdraw() {
      int expected = SentMessage::Queued;
      item->state.compare_exchange_strong(expected, SentMessage::Dropped);
      std::lock_guard lock(self.mutex);
      std::erase(self.outgoing, item);
    }
  } withdraw{self, item};
  {
    std::lock_guard lock(owner->mutex);
    if (owner->closed || !window->alive.load()) return 0;
    owner->sent.push_back(item);
  }
  owner->Wake();

  for (;;) {
    const std::uint64_t seen = self.WakeCount();
    const int state = item->state.load(std::memory_order_acquire);
    if (state == SentMessage::Done) return item->result;
    if (state == SentMessage::Dropped) return 0;
    if (self.killed.load()) {
      KilledCheck(self);
      return 0;
    }
    if (DeliverSentMessages(self) > 0) continue;
    self.WaitForWake(seen, Clock::time_point::max());
  }
}

BOOL PostMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  ThreadState& self = Current();
  if (self.killed.load()) return 0;
  std::shared_ptr<ThreadState> owner;
  if (handle == nullptr) {
    owner = CurrentShared();
  } else {
    std::shared_ptr<Window> window = FindWindow(handle);
    if (!window) return 0;
    owner = window->owner.lock();
    if (!owner) return 0;
  }
  MSG msg;
  msg.hwnd = handle;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = TickNow();
  {
    std::lock_guard lock(owner->mutex);
    if (owner->closed) return 0;
    owner->posted.push_back(msg);
  }
  owner->Wake();
  return 1;
}

void PostQuitMessage(int exitCode) {
  PostMessage(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (msg == nullptr) return 0;
  ThreadState& self = Current();
  if (Checkpoint(self)) return 0;
  DeliverSentMessages(self);
  const bool remove = (removeFlags & PM_REMOVE) != 0;
  std::lock_guard lock(self.mutex);
  for (auto it = self.posted.begin(); it != self.posted.end(); ++it) {
    if (!Matches(*it, window, filterMin, filterMax)) continue;
    *msg = *it;
    if (remove) self.posted.erase(it);
    return 1;
  }
  const Clock::time_point now = Clock::now();
  for (Timer& timer : self.timers) {
    if (timer.due > now) continue;
    MSG tick = TimerMessage(timer);
    if (!Matches(tick, window, filterMin, filterMax)) continue;
    *msg = tick;
    if (remove) timer.due = now + timer.interval;
    return 1;
  }
  return 0;
}

BOOL GetMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  ThreadState& self = Current();
  for (;;) {
    const std::uint64_t seen = self.WakeCount();
    if (PeekMessage(msg, window, filterMin, filterMax, PM_REMOVE)) {
      return msg->message == WM_QUIT ? 0 : 1;
    }
    if (self.killed.load()) return -1;  // only while unwinding; see Checkpoint
    self.WaitForWake(seen, NextTimerDue(self));
  }
}

LRESULT DispatchMessage(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) return 0;
  std::shared_ptr<Window> window = FindWindow(msg->hwnd);
  if (!window || window->ownerId != Current().id) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    auto procedure = reinterpret_cast<TIMERPROC>(msg->lParam);
    procedure(msg->hwnd, WM_TIMER, msg->wParam, TickNow());
    return 0;
  }
  return window->procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR SetTimer(HWND handle, UINT_PTR id, UINT milliseconds, TIMERPROC procedure) {
  std::shared_ptr<Window> window = FindWindow(handle);
  ThreadState& self = Current();
  if (!window || window->ownerId != self.id || self.killed.load()) return 0;
  const auto interval = std::chrono::milliseconds(std::max<UINT>(milliseconds, 10));
  {
    std::lock_guard lock(self.mutex);
    if (self.closed) return 0;
    auto found = std::find_if(self.timers.begin(), self.timers.end(), [&](const Timer& timer) {
      return timer.window == handle && timer.id == id;
    });
    Timer timer{handle, id, interval, Clock::now() + interval, procedure};
    if (found != self.timers.end()) {
      *found = timer;
    } else {
      self.timers.push_back(timer);
    }
  }
  // The main thread's GLib poll has to learn the new, nearer deadline.
  self.Wake();
  return id == 0 ? 1 : id;
}

BOOL KillTimer(HWND handle, UINT_PTR id) {
  ThreadState& self = Current();
  std::lock_guard lock(self.mutex);
  const auto removed = std::erase_if(self.timers, [&](const Timer& timer) {
    return timer.window == handle && timer.id == id;
  });
  return removed > 0 ? 1 : 0;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask) {
  if (count > MAXIMUM_WAIT_OBJECTS - 1 || (count > 0 && handles == nullptr)) return WAIT_FAILED;
  std::vector<std::shared_ptr<Waitable>> objects = WaitablesOf(count, handles);
  if (count > 0 && objects.empty()) return WAIT_FAILED;
  ThreadState& self = Current();
  if (Checkpoint(self)) return WAIT_FAILED;
  const Clock::time_point deadline = DeadlineAfter(milliseconds);
  const bool all = waitAll != 0 && count > 0;
  constexpr DWORD queueBits = QS_SENDMESSAGE | QS_POSTMESSAGE | QS_ALLPOSTMESSAGE | QS_TIMER;
  if (self.isMain.load() && (wakeMask & ~queueBits) != 0) {
    return MainContextWait(self, objects, all, deadline, wakeMask);
  }
  return QueueOnlyWait(self, objects, all, deadline, wakeMask);
}

}  // namespace qorv::platform
