// Events, waits on kernel handles, and critical sections.
//
// Events are shared between threads through their handles; any thread may
// set, reset or wait on them. A manual-reset event stays signalled until it
// is reset; an auto-reset event releases one wait and resets itself. A
// named event is shared by every CreateEvent with the same name while one
// handle of it is open. Waits accept event and thread handles; any other
// handle makes them fail with WAIT_FAILED. The waits here deliver no
// messages (MsgWaitForMultipleObjects in Messages.h does), and they are
// points where a killed thread unwinds and a suspended one stops.
//
// Closing a handle while another thread waits on it is the caller's fault,
// but it does not crash: the wait holds on to the object until it ends.
#pragma once

#include <mutex>

#include "platform/messages/Types.h"

namespace qorv::platform {

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 0x102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Security attributes are accepted for the shape of the call and ignored.
// manualReset and initialState are Win32 BOOLs (non-zero = true).
HANDLE CreateEvent(void* security, BOOL manualReset, BOOL initialState,
                   const char* name = nullptr);
// Setting an event from a killed thread does nothing and returns 0.
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// WAIT_OBJECT_0 + the lowest index that is signalled (waitAll false) or
// WAIT_OBJECT_0 once all are signalled together (waitAll true).
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                             DWORD milliseconds);

// A recursive lock. Nobody unwinds a killed thread inside Enter: the owner
// of the lock releases it while it unwinds.
class TCriticalSection {
public:
  void Enter() { mutex_.lock(); }
  void Leave() { mutex_.unlock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }

private:
  std::recursive_mutex mutex_;
};

// The call-shaped form: a critical section is usable between Initialize
// and Delete.
struct CRITICAL_SECTION {
  TCriticalSection* section = nullptr;
};
void InitializeCriticalSection(CRITICAL_SECTION* cs);
void DeleteCriticalSection(CRITICAL_SECTION* cs);
void EnterCriticalSection(CRITICAL_SECTION* cs);
void LeaveCriticalSection(CRITICAL_SECTION* cs);
BOOL TryEnterCriticalSection(CRITICAL_SECTION* cs);

}  // namespace qorv::platform
