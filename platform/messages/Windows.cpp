#include "platform/messages/Windows.h"

#include <unistd.h>

#include <cstring>

#include "platform/messages/Internal.h"

namespace qorv::platform {
namespace detail {
namespace {

struct ClassRecord {
  WNDCLASS record;
  std::string name;
  ATOM atom = 0;
};

// Process-wide windows and classes. Its lock is a leaf: nothing else is
// locked and no procedure runs while it is held.
struct Registry {
  std::mutex mutex;
  std::map<std::uintptr_t, std::shared_ptr<Window>> windows;
  std::map<std::string, ClassRecord> classes;
  std::uintptr_t nextWindow = 0x10000;
  ATOM nextAtom = 0xC000;
};

Registry& TheRegistry() {
  static auto* registry = new Registry;
  return *registry;
}

HWND ToHandle(std::uintptr_t id) { return reinterpret_cast<HWND>(id); }

HWND NewWindow(std::string className, WindowProcedure procedure) {
  ThreadState& self = Current();
  auto window = std::make_shared<Window>();
  window->className = std::move(className);
  window->procedure = std::move(procedure);
  window->owner = CurrentShared();
  window->ownerId = self.id;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  window->id = registry.nextWindow++;
  registry.windows.emplace(window->id, window);
  return ToHandle(window->id);
}

void RemoveWindow(const std::shared_ptr<Window>& window) {
  window->alive.store(false);
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  registry.windows.erase(window->id);
}

// Drops what the calling thread's queue holds for a window that is gone;
// waiting senders get 0.
void PurgeQueue(ThreadState& self, HWND handle) {
  std::vector<std::shared_ptr<SentMessage>> dropped;
  {
    std::lock_guard lock(self.mutex);
    for (auto it = self.sent.begin(); it != self.sent.end();) {
      if (ToHandle((*it)->window->id) == handle) {
        dropped.push_back(*it);
        it = self.sent.erase(it);
      } else {
        ++it;
      }
    }
    std::erase_if(self.posted, [&](const MSG& msg) { return msg.hwnd == handle; });
    std::erase_if(self.timers, [&](const Timer& timer) { return timer.window == handle; });
  }
  for (auto& item : dropped) {
    int expected = SentMessage::Queued;
    if (item->state.compare_exchange_strong(expected, SentMessage::Dropped)) item->sender->Wake();
  }
}

}  // namespace

std::shared_ptr<Window> FindWindow(HWND window) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto found = registry.windows.find(reinterpret_cast<std::uintptr_t>(window));
  if (found == registry.windows.end()) return nullptr;
  return found->second;
}

void DestroyWindowsOf(ThreadState& state) {
  std::vector<std::shared_ptr<Window>> gone;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (auto it = registry.windows.begin(); it != registry.windows.end();) {
      if (it->second->ownerId == state.id) {
        it->second->alive.store(false);
        gone.push_back(std::move(it->second));
        it = registry.windows.erase(it);
      } else {
        ++it;
      }
    }
  }
  // The procedures (and what they hold) are released outside the lock.
  gone.clear();
}

}  // namespace detail

using namespace detail;

HINSTANCE GetModuleInstance() {
  // One program, one instance; the value only has to be stable and non-null.
  static char anchor;
  return reinterpret_cast<HINSTANCE>(&anchor);
}

ATOM RegisterClass(const WNDCLASS* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
      windowClass->lpszClassName == nullptr || *windowClass->lpszClassName == '\0') {
    return 0;
  }
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  std::string name = windowClass->lpszClassName;
  if (registry.classes.contains(name)) return 0;
  ClassRecord record;
  record.record = *windowClass;
  record.name = name;
  record.record.lpszClassName = nullptr;  // the record keeps its own copy
  record.record.lpszMenuName = nullptr;
  record.atom = registry.nextAtom++;
  if (registry.nextAtom == 0) registry.nextAtom = 0xC000;
  const ATOM atom = record.atom;
  registry.classes.emplace(std::move(name), std::move(record));
  return atom;
}

BOOL UnregisterClass(const char* className, HINSTANCE /*instance*/) {
  if (className == nullptr) return 0;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto found = registry.classes.find(className);
  if (found == registry.classes.end()) return 0;
  for (auto& [id, window] : registry.windows) {
    if (window->className == found->first) return 0;
  }
  registry.classes.erase(found);
  return 1;
}

BOOL GetClassInfo(HINSTANCE /*instance*/, const char* className, WNDCLASS* windowClass) {
  if (className == nullptr || windowClass == nullptr) return 0;
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  auto found = registry.classes.find(className);
  if (found == registry.classes.end()) return 0;
  *windowClass = found->second.record;
  windowClass->lpszClassName = found->first.c_str();
  return 1;
}

HWND CreateWindowEx(DWORD /*exStyle*/, const char* className, const char* /*windowName*/,
                    DWORD /*style*/, int /*x*/, int /*y*/, int /*width*/, int /*height*/,
                    HWND /*parent*/, void* /*menu*/, HINSTANCE /*instance*/, void* parameter) {
  if (className == nullptr) return nullptr;
  if (Checkpoint(Current())) return nullptr;
  WNDPROC procedure = nullptr;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto found = registry.classes.find(className);
    if (found == registry.classes.end()) return nullptr;
    procedure = found->second.record.lpfnWndProc;
  }
  HWND handle = NewWindow(className, procedure);
  LRESULT created;
  try {
    created = procedure(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(parameter));
  } catch (...) {
    if (auto window = FindWindow(handle)) RemoveWindow(window);
    throw;
  }
  if (created == -1) {
    if (auto window = FindWindow(handle)) RemoveWindow(window);
    return nullptr;
  }
  return handle;
}

BOOL DestroyWindow(HWND handle) {
  std::shared_ptr<Window> window = FindWindow(handle);
  if (!window) return 0;
  ThreadState& self = Current();
  if (window->ownerId != self.id) return 0;
  if (window->destroying.exchange(true)) return 0;
  // The window still exists while its procedure handles WM_DESTROY, and it
  // goes away even when the procedure throws.
  struct Remover {
    const std::shared_ptr<Window>& window;
    ThreadState& self;
    HWND handle;
    ~Remover() {
      RemoveWindow(window);
      PurgeQueue(self, handle);
    }
  } remover{window, self, handle};
  window->procedure(handle, WM_DESTROY, 0, 0);
  return 1;
}

BOOL IsWindow(HWND handle) { return FindWindow(handle) ? 1 : 0; }

DWORD GetWindowThreadProcessId(HWND handle, DWORD* processId) {
  std::shared_ptr<Window> window = FindWindow(handle);
  if (processId != nullptr) *processId = window ? static_cast<DWORD>(getpid()) : 0;
  return window ? window->ownerId : 0;
}

LRESULT DefWindowProc(HWND window, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_QUERYENDSESSION:
    case WM_NCCREATE:
      return 1;
    default:
      return 0;
  }
}

HWND AllocateHWnd(TWndMethod method) {
  if (!method) return nullptr;
  return AllocateHWnd(WindowProcedure(
      [method = std::move(method)](HWND, UINT message, WPARAM wParam, LPARAM lParam) {
        TMessage record{message, wParam, lParam, 0};
        method(record);
        return record.Result;
      }));
}

HWND AllocateHWnd(WindowProcedure procedure) {
  if (!procedure) return nullptr;
  if (Checkpoint(Current())) return nullptr;
  return NewWindow("TPUtilWindow", std::move(procedure));
}

void DeallocateHWnd(HWND window) { DestroyWindow(window); }

}  // namespace qorv::platform
