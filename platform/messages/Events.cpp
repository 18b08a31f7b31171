#include "platform/messages/Events.h"

#include <algorithm>

#include "platform/messages/Internal.h"

namespace qorv::platform {
namespace detail {
namespace {

// Named events, guarded by WaitLock(). Entries whose event is gone are
// replaced when the name is used again.
std::map<std::string, std::weak_ptr<EventState>>& NamedEvents() {
  static auto* events = new std::map<std::string, std::weak_ptr<EventState>>;
  return *events;
}

EventObject* AsEvent(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<EventObject*>(handle);
}

DWORD WaitObjects(DWORD count, const HANDLE* handles, bool waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) return WAIT_FAILED;
  std::vector<std::shared_ptr<Waitable>> objects = WaitablesOf(count, handles);
  if (objects.empty()) return WAIT_FAILED;
  ThreadState& self = Current();
  if (Checkpoint(self)) return WAIT_FAILED;
  const Clock::time_point deadline = DeadlineAfter(milliseconds);
  WaiterRegistration registration(self, objects);
  for (;;) {
    const std::uint64_t seen = self.WakeCount();
    if (Checkpoint(self)) return WAIT_FAILED;
    {
      std::lock_guard lock(WaitLock());
      const int index = CheckObjectsLocked(objects, waitAll);
      if (index >= 0) return WAIT_OBJECT_0 + static_cast<DWORD>(index);
    }
    if (Clock::now() >= deadline) return WAIT_TIMEOUT;
    self.WaitForWake(seen, deadline);
  }
}

}  // namespace

std::vector<std::shared_ptr<Waitable>> WaitablesOf(DWORD count, const HANDLE* handles) {
  std::vector<std::shared_ptr<Waitable>> objects;
  objects.reserve(count);
  for (DWORD i = 0; i < count; ++i) {
    HANDLE handle = handles[i];
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return {};
    auto* waitable = dynamic_cast<WaitableObject*>(handle);
    if (waitable == nullptr) return {};
    objects.push_back(waitable->GetWaitable());
  }
  return objects;
}

int CheckObjectsLocked(std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll) {
  if (waitAll) {
    for (auto& object : objects) {
      if (!object->signalled) return -1;
    }
    for (auto& object : objects) {
      if (!object->manualReset) object->signalled = false;
    }
    return 0;
  }
  for (std::size_t i = 0; i < objects.size(); ++i) {
    if (objects[i]->signalled) {
      if (!objects[i]->manualReset) objects[i]->signalled = false;
      return static_cast<int>(i);
    }
  }
  return -1;
}

WaiterRegistration::WaiterRegistration(ThreadState& self,
                                       std::vector<std::shared_ptr<Waitable>>& objects)
    : self_(self), objects_(objects) {
  std::lock_guard lock(WaitLock());
  for (auto& object : objects_) object->waiters.push_back(&self_);
}

WaiterRegistration::~WaiterRegistration() {
  std::lock_guard lock(WaitLock());
  for (auto& object : objects_) {
    auto found = std::find(object->waiters.begin(), object->waiters.end(), &self_);
    if (found != object->waiters.end()) object->waiters.erase(found);
  }
}

}  // namespace detail

using namespace detail;

HANDLE CreateEvent(void* /*security*/, BOOL manualReset, BOOL initialState, const char* name) {
  std::lock_guard lock(WaitLock());
  if (name != nullptr && *name != '\0') {
    auto& named = NamedEvents();
    auto found = named.find(name);
    if (found != named.end()) {
      if (auto existing = found->second.lock()) return new EventObject(existing);
    }
  }
  auto state = std::make_shared<EventState>();
  state->signal.manualReset = manualReset != 0;
  state->signal.signalled = initialState != 0;
  if (name != nullptr && *name != '\0') NamedEvents()[name] = state;
  return new EventObject(std::move(state));
}

BOOL SetEvent(HANDLE event) {
  EventObject* object = AsEvent(event);
  if (object == nullptr) return 0;
  // A killed thread counts as gone: what it signals never happens.
  if (Current().killed.load()) return 0;
  std::lock_guard lock(WaitLock());
  SignalLocked(object->State()->signal);
  return 1;
}

BOOL ResetEvent(HANDLE event) {
  EventObject* object = AsEvent(event);
  if (object == nullptr) return 0;
  if (Current().killed.load()) return 0;
  std::lock_guard lock(WaitLock());
  object->State()->signal.signalled = false;
  return 1;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitObjects(1, &handle, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                             DWORD milliseconds) {
  return WaitObjects(count, handles, waitAll != 0, milliseconds);
}

void InitializeCriticalSection(CRITICAL_SECTION* cs) {
  if (cs != nullptr && cs->section == nullptr) cs->section = new TCriticalSection;
}

void DeleteCriticalSection(CRITICAL_SECTION* cs) {
  if (cs == nullptr) return;
  delete cs->section;
  cs->section = nullptr;
}

void EnterCriticalSection(CRITICAL_SECTION* cs) {
  if (cs != nullptr && cs->section != nullptr) cs->section->Enter();
}

void LeaveCriticalSection(CRITICAL_SECTION* cs) {
  if (cs != nullptr && cs->section != nullptr) cs->section->Leave();
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs) {
  if (cs == nullptr || cs->section == nullptr) return 0;
  return cs->section->TryEnter() ? 1 : 0;
}

}  // namespace qorv::platform
