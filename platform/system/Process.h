// Starting programs, and what the running program knows about itself.
//
// WinExec and ShellExecute start a program and return at once; the layer
// reaps the child when it ends, so no caller ever waits for it and no
// zombie is left. Both may be called on any thread. The program's own
// arguments are saved once by main (SetProgramArguments) before any other
// thread starts; later reads (ParamStr, ParamCount) may come from any
// thread. Failures are reported through the documented result values and
// the last error; nothing throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Handles.h"
#include "platform/system/CommandLine.h"
#include "platform/system/Errors.h"

namespace qorv::platform {

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;

// Shell-open results at or below 32 are failures.
inline constexpr std::intptr_t SE_ERR_FNF = 2;
inline constexpr std::intptr_t SE_ERR_PNF = 3;
inline constexpr std::intptr_t SE_ERR_ACCESSDENIED = 5;
inline constexpr std::intptr_t SE_ERR_OOM = 8;
inline constexpr std::intptr_t SE_ERR_NOASSOC = 31;

// The words of CommandLine by the rules of CommandLine.h, the first being
// the program.
std::vector<std::string> SplitCommandLineWords(std::string_view commandLine);
// The words of a parameter text, which has no program word in front.
std::vector<std::string> SplitParameterWords(std::string_view parameters);

// Starts the program named by the first word of CommandLine with the other
// words as its arguments; a program name without "/" is searched in PATH.
// The show mode is accepted and has no effect. Returns a value above 31 on
// success; on failure 0 (out of resources or an empty command line),
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED or
// ERROR_BAD_FORMAT, which is also the last error.
DWORD WinExec(const char* commandLine, int showCommand);

enum class QuoteMode { WhenNeeded, Always };
// One word for a command line that SplitCommandLineWords (and the applier's
// splitter) read back as exactly Word: quoted when it holds blanks, tabs or
// quotes (or always), with the backslashes before a quote doubled.
std::string QuoteCommandLineWord(std::string_view word, QuoteMode mode = QuoteMode::WhenNeeded);

// Operation null, "" or "open". With Parameters, File is a program started
// with the parameter words (SplitParameterWords) as its arguments. Without
// them, an executable File is started as a program, and anything else (a
// URL, a document) is handed to `xdg-open`. Directory, when given, is the
// started program's working folder. Owner and ShowCommand are accepted and
// have no effect. Above 32 on success; else an SE_ERR_* value
// (SE_ERR_NOASSOC for another operation).
std::intptr_t ShellExecute(const void* owner, const char* operation, const char* file, const char* parameters,
                           const char* directory, int showCommand);

// Saves the program's arguments; main calls it first thing. Without it the
// arguments are read from /proc/self/cmdline.
void SetProgramArguments(int argc, const char* const* argv);
// The number of arguments after the program's name.
int ParamCount();
// Argument Index (1..ParamCount); 0 gives the executable's full path, as
// GetModuleFileName does. Out of range gives "".
std::string ParamStr(int index);

// The executable's full path (/proc/self/exe). The first form copies at
// most Size - 1 bytes and a zero byte and returns the copied length; a
// truncated copy returns Size with ERROR_INSUFFICIENT_BUFFER. Module must
// be null (this program).
DWORD GetModuleFileName(const void* module, char* buffer, DWORD size);
std::string GetModuleFileName();

}  // namespace qorv::platform
