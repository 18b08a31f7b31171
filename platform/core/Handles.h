// Kernel handles of the layer.
//
// A HANDLE names one kernel object of this process: an open file, an event,
// a thread. The areas of the layer derive their objects from KernelObject;
// CloseHandle frees any of them. Handles are plain values that may be
// passed between threads; closing a handle while another thread still uses
// it is the caller's fault, as on the system this layer stands in for.
#pragma once

#include <cstdint>

namespace qorv::platform {

class KernelObject {
public:
  KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;
  virtual ~KernelObject() = default;
};

using HANDLE = KernelObject*;
using DWORD = std::uint32_t;
using BOOL = int;

// All bits set: the value that file creation returns on failure and that a
// signal variable holds once its wait has ended.
inline HANDLE const INVALID_HANDLE_VALUE =
    reinterpret_cast<HANDLE>(~static_cast<std::uintptr_t>(0));

// Frees the object behind Handle. False for 0 and INVALID_HANDLE_VALUE.
inline bool CloseHandle(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  delete handle;
  return true;
}

}  // namespace qorv::platform
