// Threads of the layer: creation, suspend and resume, kill, priorities,
// exit codes.
//
// CreateThread starts a real thread and hands back a waitable HANDLE; the
// handle becomes signalled when the thread's entry returns or when the
// thread is killed, and it stays valid until CloseHandle. Closing the
// handle of a thread that still runs detaches it safely: the thread and
// its handle share the thread's state, which lives until both are done.
// Any thread may call any function here with any thread handle.
//
// Suspend and kill are cooperative, because Linux offers no safe way to
// stop another thread where it stands:
//  - SuspendThread raises the suspend count at once, but the target stops
//    only at its next call into the layer (KillCheckpoint, a wait, Sleep, a
//    message call) and stays there until the count is back at 0.
//  - TerminateThread returns at once. The target's handle is signalled at
//    once with the given exit code, its kill listeners run on the killing
//    thread, messages sent to its windows return 0, events it sets from then
//    on never fire, and it unwinds at its next blocking or message call into
//    the layer by throwing ThreadKilled. A killed thread never blocks in the
//    layer again: while an exception is already in flight (clean-up during
//    the unwinding) those calls return at once without effect instead.
// ThreadKilled does not derive from std::exception, so handlers for
// std::exception let it pass. Code on worker threads that catches (...)
// must rethrow it (see IsThreadKilledException), or the thread goes on
// running after it has been reported as ended.
//
// Threads the layer did not create (the main thread, threads started with
// std::thread) are adopted on their first call into the layer and work the
// same way, except that there is no handle for them.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>

#include "platform/messages/Types.h"

namespace qorv::platform {

// Thrown on a killed thread to unwind it; deliberately not a std::exception.
struct ThreadKilled {};

bool IsThreadKilledException(std::exception_ptr error);

inline constexpr DWORD CREATE_SUSPENDED = 4;
inline constexpr DWORD STILL_ACTIVE = 259;
// Exit code of a thread whose entry let an exception other than
// ThreadKilled escape; the exception ends with the thread.
inline constexpr DWORD THREAD_EXIT_UNHANDLED_EXCEPTION = 0xE0000001;

inline constexpr int THREAD_PRIORITY_IDLE = -15;
inline constexpr int THREAD_PRIORITY_LOWEST = -2;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;
inline constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;
inline constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7FFFFFFF;

using LPTHREAD_START_ROUTINE = DWORD (*)(void* parameter);

// Security attributes are accepted for the shape of the call and ignored;
// the stack size, when not 0, is the new thread's stack size. Flags may be 0
// or CREATE_SUSPENDED (the thread then waits before its entry until the
// first ResumeThread). Returns nullptr when the thread cannot be started.
HANDLE CreateThread(void* security, std::size_t stackSize, LPTHREAD_START_ROUTINE entry,
                    void* parameter, DWORD flags, DWORD* threadId);

// Both return the previous suspend count, or 0xFFFFFFFF for a handle that
// is not a thread. Resuming a thread whose count is 0 changes nothing.
DWORD SuspendThread(HANDLE thread);
DWORD ResumeThread(HANDLE thread);

// Kills cooperatively, as described above. Killing the calling thread
// itself throws ThreadKilled right away. Killing a thread that has already
// ended or been killed changes nothing and succeeds.
BOOL TerminateThread(HANDLE thread, DWORD exitCode);

// The stored priority is the value last set, also when it is not one of the
// seven named levels, so that readers can map it. The scheduler is told a
// matching nice value where the system permits it.
int GetThreadPriority(HANDLE thread);
BOOL SetThreadPriority(HANDLE thread, int priority);

// STILL_ACTIVE while the thread neither ended nor was killed.
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);

DWORD GetCurrentThreadId();
// The id of the main thread: the thread that called InitMessageLoop, or,
// before any call of it, the first thread that called into this area.
DWORD MainThreadID();

// Sleeps, but wakes early to unwind when the thread is killed.
void Sleep(DWORD milliseconds);

// For other areas of the layer.
bool CurrentThreadKilled();
// Throws ThreadKilled when the calling thread has been killed (and no
// exception is in flight); blocks while the thread is suspended.
void KillCheckpoint();
// Listeners belong to the calling thread and run on the killing thread,
// once, at kill time, so that a thread blocked outside the layer can be
// woken. A listener added to an already killed thread runs at once.
// RemoveKillListener waits while the listener is running, so after it
// returns the listener's data may be freed; a listener must not remove
// itself.
int AddKillListener(std::function<void()> listener);
void RemoveKillListener(int id);

}  // namespace qorv::platform
