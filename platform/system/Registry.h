// A read-only view of the registry of the system this layer stands in for.
//
// Modules open keys under HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER and read their values, with the calls, codes and value
// types they know. The calls return ERROR_SUCCESS or an error code; they
// do not touch the thread's last error and never throw. Key paths use "\"
// between names; a path that begins with "\" starts at the root. Names of
// keys and values compare without regard to letter case.
//
// Two backends answer behind one interface:
//   - the desktop backend (the default) answers the file-type keys of
//     HKEY_CLASSES_ROOT from the XDG MIME associations: ".html" has as
//     default value the desktop-entry id of the default application for
//     its MIME type ("browser.desktop"), and "<id>\shell\open\command" has
//     the entry's Exec line, the program quoted and the file placeholders
//     as "%1". Keys without a counterpart here do not exist, and the other
//     roots are empty.
//   - a test registry set with SetTestRegistry, which replaces the view for
//     the whole process until ClearTestRegistry.
// Opened keys are snapshots of names only: each query asks the backend in
// force at that moment. Keys may be opened, read and closed on any thread;
// switching backends while another thread reads is safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Handles.h"
#include "platform/system/Errors.h"

namespace qorv::platform {

struct RegistryKey;
using HKEY = RegistryKey*;
using LSTATUS = std::int32_t;
using REGSAM = DWORD;

// The predefined roots, with the numeric values of the original system.
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000U));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001U));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002U));

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;

// Opens Root\SubKey (SubKey null or "" gives a new handle on Root itself).
// ERROR_FILE_NOT_FOUND when the key does not exist; the view is read-only,
// so nothing is ever created.
LSTATUS RegOpenKey(HKEY root, const char* subKey, HKEY* result);
// Options must be 0; Access is accepted for any reading rights.
LSTATUS RegOpenKeyEx(HKEY root, const char* subKey, DWORD options, REGSAM access, HKEY* result);
// Closing a predefined root does nothing and succeeds.
LSTATUS RegCloseKey(HKEY key);

// Reads value Name (null or "" for the default value). Type (optional)
// receives the type. With Data null only *Size is set to the size needed.
// REG_SZ data include the terminating zero byte. A buffer that is too small
// gives ERROR_MORE_DATA with *Size set to the size needed; a missing value
// gives ERROR_FILE_NOT_FOUND.
LSTATUS RegQueryValueEx(HKEY key, const char* name, DWORD* type, unsigned char* data, DWORD* size);
// The default value of Key\SubKey as text; a key without a default value
// reads as "". ERROR_FILE_NOT_FOUND when the key does not exist,
// ERROR_INVALID_DATA when the default value is not REG_SZ, ERROR_MORE_DATA
// as above. Size counts bytes including the zero byte.
LSTATUS RegQueryValue(HKEY key, const char* subKey, char* data, std::int32_t* size);
// The name of subkey Index (in the backend's order). Size is the buffer's
// size in bytes; ERROR_MORE_DATA when the name and its zero byte do not
// fit, ERROR_NO_MORE_ITEMS past the last subkey.
LSTATUS RegEnumKey(HKEY key, DWORD index, char* name, DWORD size);

// The "open" command that the desktop backend shows for a desktop entry's
// Exec value: the program quoted, %f %F %u %U as "%1", %% as %, the other
// field codes dropped, arguments with blanks quoted.
std::string DesktopExecToCommandLine(const std::string& exec);

// One key, or one value of a key, of a test registry.
struct TestRegistryEntry {
  // The key's full path with its root first, e.g.
  // "HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\RemoteAccess";
  // the roots may also be written HKCR, HKLM, HKCU. Every key on the way
  // exists too.
  std::string key;
  // The value's name ("" for the default value); ignored with REG_NONE.
  std::string valueName;
  // REG_NONE makes only the key; REG_SZ, REG_DWORD, REG_BINARY a value.
  DWORD type = REG_NONE;
  // REG_SZ: the text without a zero byte; REG_BINARY: the bytes;
  // REG_DWORD: the four bytes, low byte first (see RegistryDword).
  std::string data;
};

// The four bytes of a REG_DWORD, low byte first.
std::string RegistryDword(DWORD value);

// Replaces the registry view with exactly these keys and values.
void SetTestRegistry(const std::vector<TestRegistryEntry>& contents);
// Back to the desktop backend.
void ClearTestRegistry();

}  // namespace qorv::platform
