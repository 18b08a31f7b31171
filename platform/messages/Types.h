// Basic value types of the message layer: window handles, message
// parameters and results, with the widths the modules expect.
//
// Everything here is a plain value that any thread may copy. A window
// handle names a window for as long as it exists and is never reused for
// another window, so a stale handle simply refers to nothing.
#pragma once

#include <cstdint>

#include "platform/core/Handles.h"

namespace qorv::platform {

struct HWND__;
struct HINSTANCE__;
using HWND = HWND__*;
using HINSTANCE = HINSTANCE__*;

using UINT = unsigned int;
using LONG = std::int32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using ATOM = std::uint16_t;

}  // namespace qorv::platform
