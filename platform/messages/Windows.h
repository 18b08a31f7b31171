// Message-only windows, window classes and window procedures.
//
// A window is a target for messages, nothing more: it has no place on the
// screen. It belongs to the thread that creates it; only that thread runs
// its procedure, and only that thread may destroy it (DestroyWindow from
// any other thread fails). When the owner thread ends, its windows are
// destroyed with it (without WM_DESTROY, since nobody is left to handle
// it). Classes are process-wide and looked up by name; any thread may
// register and unregister them. Window handles are never reused, so
// IsWindow of a destroyed window stays false.
//
// A window procedure may do anything, including destroying its own window
// or running a nested message loop; the window's data stays alive until the
// procedure returns.
#pragma once

#include <functional>

#include "platform/messages/Messages.h"
#include "platform/messages/Types.h"

namespace qorv::platform {

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASS {
  UINT style = 0;
  WNDPROC lpfnWndProc = nullptr;
  int cbClsExtra = 0;
  int cbWndExtra = 0;
  HINSTANCE hInstance = nullptr;
  void* hIcon = nullptr;
  void* hCursor = nullptr;
  void* hbrBackground = nullptr;
  const char* lpszMenuName = nullptr;
  const char* lpszClassName = nullptr;
};

// The instance handle of this program, for the classes it registers.
HINSTANCE GetModuleInstance();

// 0 when the record has no name or procedure, or the name is taken.
ATOM RegisterClass(const WNDCLASS* windowClass);
// Fails while windows of the class exist, as on the system this stands in
// for. The instance is accepted for the shape of the call.
BOOL UnregisterClass(const char* className, HINSTANCE instance);
BOOL GetClassInfo(HINSTANCE instance, const char* className, WNDCLASS* windowClass);

// Creates a window of a registered class for the calling thread; the
// procedure gets WM_CREATE (returning -1 there refuses the window, giving
// nullptr). Geometry, parent and menu are accepted and ignored.
HWND CreateWindowEx(DWORD exStyle, const char* className, const char* windowName, DWORD style,
                    int x, int y, int width, int height, HWND parent, void* menu,
                    HINSTANCE instance, void* parameter);
// Only the owner thread may destroy a window. The procedure gets WM_DESTROY
// while the window still exists; then pending sent messages for the window
// return 0 to their senders, and its posted messages and timers are
// dropped. Destroying a window from its own WM_DESTROY does nothing.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// The thread that owns the window, 0 when there is none.
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);
// WM_CLOSE destroys the window; WM_QUERYENDSESSION and WM_NCCREATE answer
// 1; everything else 0.
LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The class library's form of a window procedure: a callable that gets the
// message as one record and leaves its answer in Result.
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
using TWndMethod = std::function<void(TMessage&)>;
using WindowProcedure = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// A hidden window for the calling thread whose procedure is the given
// callable, typically bound to an object's method. It gets no WM_CREATE.
// nullptr for an empty callable.
HWND AllocateHWnd(TWndMethod method);
HWND AllocateHWnd(WindowProcedure procedure);
void DeallocateHWnd(HWND window);

}  // namespace qorv::platform
