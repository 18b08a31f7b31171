// Every message number that crosses threads in this program, one line each,
// so that no two senders pick the same number and a reader sees at a glance
// what may arrive from another thread. Add a message here before sending it
// from one thread to a window of another.
#pragma once

#include "platform/messages/Messages.h"

namespace qorv::platform {

// Sent (never posted) by a worker to the shared hidden thread window: the
// worker object in lParam has a synchronised method for the main thread to
// run; wParam is 0 and the worker waits until the method has run.
inline constexpr UINT WM_EXECMETHOD = WM_APP + 0x0FFF;  // 0x8FFF

}  // namespace qorv::platform
