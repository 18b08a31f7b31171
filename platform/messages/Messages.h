// Per-thread message queues, cross-thread send and post, window timers,
// waits that report input, and the main thread's message loop.
//
// Every thread has a queue of sent messages, a queue of posted messages and
// the timers of its windows. A message goes to the thread that owns the
// target window (see Windows.h) and is handled there, by the window's
// procedure:
//  - SendMessage from the owner thread calls the procedure directly. From
//    another thread it queues the message for the owner, wakes it and
//    blocks until the owner handled it, then returns the procedure's
//    result. While it blocks, the sender keeps handling messages sent to
//    its own windows, so two threads that send to each other do not
//    deadlock. When the window is destroyed or its owner ends (or is
//    killed) before handling, the result is 0: a message for a window that
//    is gone is dropped.
//  - PostMessage, from any thread, appends to the owner's posted queue and
//    returns at once.
//  - Timers post nothing: when one is due and the owner looks for posted
//    messages, it finds one WM_TIMER (wParam = timer id) for it, and the
//    timer's next tick is counted from then on.
// Sent messages are always delivered before anything else is looked at.
//
// The main thread's loop is GLib's default main context, shared with GTK.
// The main thread's sent messages, posted messages and timers are
// dispatched by a GSource attached to that context, so any iteration of it
// (g_main_context_iteration, a GTK main loop, nested modal loops) delivers
// them. Worker threads have no GLib context; their queue is served only
// when they call PeekMessage, GetMessage, ProcessMessages,
// MsgWaitForMultipleObjects or a cross-thread SendMessage.
//
// Everything here except PostMessage and TerminateApplication acts on the
// calling thread's queue. Dispatching happens outside every lock of the
// layer, so window procedures may call anything here, including nested
// loops.
#pragma once

#include <exception>
#include <functional>

#include "platform/messages/Types.h"

namespace qorv::platform {

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUERYENDSESSION = 0x0011;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_NCCREATE = 0x0081;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT WM_APP = 0x8000;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

inline constexpr DWORD QS_KEY = 0x0001;
inline constexpr DWORD QS_MOUSEMOVE = 0x0002;
inline constexpr DWORD QS_MOUSEBUTTON = 0x0004;
inline constexpr DWORD QS_POSTMESSAGE = 0x0008;
inline constexpr DWORD QS_TIMER = 0x0010;
inline constexpr DWORD QS_PAINT = 0x0020;
inline constexpr DWORD QS_SENDMESSAGE = 0x0040;
inline constexpr DWORD QS_HOTKEY = 0x0080;
inline constexpr DWORD QS_ALLPOSTMESSAGE = 0x0100;
inline constexpr DWORD QS_MOUSE = QS_MOUSEMOVE | QS_MOUSEBUTTON;
inline constexpr DWORD QS_INPUT = QS_MOUSE | QS_KEY;
inline constexpr DWORD QS_ALLEVENTS = 0x00BF;
inline constexpr DWORD QS_ALLINPUT = 0x00FF;

struct POINT {
  LONG x = 0;
  LONG y = 0;
};

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};

using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// Makes the calling thread the main thread (see MainThreadID) and attaches
// its queue to GLib's default main context. Call it once, early, on the
// thread that will run the loop; calling it again on that thread does
// nothing.
void InitMessageLoop();

// Exceptions that a window procedure lets escape while the queue runs it
// (a message sent from another thread, a posted message or a timer tick
// dispatched by the main loop) have no caller to go to; they go to this
// handler, on the thread that ran the procedure. The sender of such a
// message gets 0. Without a handler they are written to stderr. Exceptions
// of procedures called directly (same-thread SendMessage, DispatchMessage)
// reach the caller.
using MessageExceptionHandler = std::function<void(std::exception_ptr)>;
void SetMessageExceptionHandler(MessageExceptionHandler handler);

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Fails (0) for a window that does not exist. A null window posts a thread
// message to the calling thread's own queue.
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Posts WM_QUIT to the calling thread. On the main thread, when the main
// loop meets it, it terminates the application.
void PostQuitMessage(int exitCode);

// Delivers all pending sent messages, then reports the first posted message
// (of the window, or any when window is null; filterMin and filterMax 0
// take every number), or a due timer's WM_TIMER. PM_REMOVE takes it out of
// the queue (a timer then starts its next interval); PM_NOREMOVE leaves it.
// Returns 0 when there is nothing.
BOOL PeekMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Blocks (delivering sent messages) until a posted message or timer tick is
// there and removes it. 0 for WM_QUIT, -1 for a bad argument.
BOOL GetMessage(MSG* msg, HWND window, UINT filterMin, UINT filterMax);
// Calls the procedure of the message's window when that window exists and
// belongs to the calling thread; 0 otherwise.
LRESULT DispatchMessage(const MSG* msg);

// Timers of a window owned by the calling thread; interval clamped to at
// least 10 ms. Setting an existing id restarts it. The result is the
// timer id (or 1 for id 0), 0 on failure. A timer dies with its window.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC proc);
BOOL KillTimer(HWND window, UINT_PTR id);

// Waits until one handle (or all, with waitAll, together with input) is
// signalled, or until input of the wake mask is there for the calling
// thread: WAIT_OBJECT_0 + i for handle i, WAIT_OBJECT_0 + count for input,
// WAIT_TIMEOUT, WAIT_FAILED (bad handle, count above 63). It dispatches
// nothing; the caller peeks or processes messages afterwards.
// Input means: QS_SENDMESSAGE a sent message is pending; QS_POSTMESSAGE
// (and QS_ALLPOSTMESSAGE) a posted message; QS_TIMER a due timer. On the
// main thread, any other bit (QS_ALLINPUT has them all) also counts every
// ready source of the GLib context, GTK's events included; a mask of
// QS_SENDMESSAGE alone ignores them. Waiting for all handles counts only
// the layer's own queue as input, also on the main thread. Input counts while it is pending, not
// only when it is new, so a caller must take it out before waiting again.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask);

// Runs all pending work without blocking, until nothing is pending: on the
// main thread every ready source of the GLib context; on other threads the
// thread's own messages and timers.
void ProcessMessages();
// Waits for and handles one round of work (on the main thread one blocking
// iteration of the GLib context).
void HandleMessage();
// Handles work until TerminateApplication.
void RunMessageLoop();
// Process-wide and final: asks the main loop to end and wakes it. Any
// thread may call it.
void TerminateApplication();
bool ApplicationTerminated();

}  // namespace qorv::platform
