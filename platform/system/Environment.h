// The machine and the user's session: temporary folder, default language,
// host name and addresses.
//
// Every call reads the environment and the file system afresh and keeps no
// state, so it may run on any thread (as long as no thread changes the
// environment at the same time). Failures give the documented empty result
// and a last error; nothing throws.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Handles.h"
#include "platform/system/Errors.h"
#include "platform/system/Time.h"

namespace qorv::platform {

// The user's private temporary folder, ending in "/":
//   - $XDG_RUNTIME_DIR when it is set to an absolute path of a real folder
//     (not a symbolic link) owned by the user with mode 0700;
//   - otherwise "qorv-<uid>" under $TMPDIR (when it names a folder) or
//     /tmp, created with mode 0700 if missing; an existing one must be a
//     real folder owned by the user with mode 0700.
// A folder that fails the checks is refused: the result is 0 / "" and the
// last error ERROR_ACCESS_DENIED, because writing there would let another
// user replace what we later execute. The first form follows the system
// call: it returns the length without the zero byte, or, when Size is too
// small, the size needed including the zero byte (and copies nothing).
DWORD GetTempPath(DWORD size, char* buffer);
std::string GetTempPath();

using LANGID = WORD;
inline constexpr LANGID LANG_ENGLISH_US = 0x0409;

// The system's default language from the locale: LC_ALL, LC_MESSAGES, LANG
// (the first that is set and not empty), else LANG in /etc/default/locale
// or /etc/locale.conf. See LangIdFromLocaleName.
LANGID GetSystemDefaultLangID();

// A locale name "language[_TERRITORY][.codeset][@modifier]" as a language
// id. "C", "POSIX" and "" give English (United States) 0x0409. A known
// language with an unknown or missing territory gives the language's
// primary id with SUBLANG_DEFAULT (sub-language 1), except where the
// language has its own usual default (Chinese gives 0x0804, Norwegian
// 0x0414, Spanish 0x0C0A, Serbian 0x0C1A). A language that is not in the
// table gives 0x0409, so that an unknown language reads English texts.
LANGID LangIdFromLocaleName(std::string_view localeName);

// The machine's host name; "" on failure.
std::string GetHostName();
// The IPv4 addresses that Name resolves to, as dotted text, in the
// resolver's order without repeats; empty when it does not resolve.
std::vector<std::string> ResolveHostIPv4Addresses(const std::string& name);
// What resolving the machine's own host name gives on the system this layer
// stands in for: the IPv4 addresses of the network interfaces that are up,
// loopback left out, in interface order; just "127.0.0.1" when there is none.
// On Linux the host name itself usually resolves through /etc/hosts to a
// loopback address whatever the network, so the name is not asked.
std::vector<std::string> LocalHostIPv4Addresses();

}  // namespace qorv::platform
