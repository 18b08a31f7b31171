// auUtils: the stateless helpers of the upgrade family.
//
// The online test, progress percentages, opening a web address in the user's
// browser, the temporary folder, URL and version-string helpers, file size,
// time and attribute helpers, copying an embedded resource into a stream,
// closing the application, a signal wait that keeps the user interface
// alive, and the parsing of HTTP header dates.
//
// Threads: CalcPercent, InitSizedRecord, ApplyFileAttributes and the date
// routines are also called on HTTP worker threads; every routine is
// reentrant and shares no data. WaitForSignal must run on the main thread,
// because it processes the application's messages; SetSignal is called from
// code running inside that processing. IsOnline, OpenURL, GetTempFolder and
// CloseApplication run on the main thread.
//
// Failures: no routine lets a failure escape; each reports it through its
// result (False, -1, 0, an empty text), as documented on the declaration.
// Strings are byte strings in the system code page (UTF-8 here); string
// positions in the comments count from 1.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/core/DateTime.h"
#include "platform/core/Handles.h"
#include "platform/core/Streams.h"
#include "platform/system/Files.h"

namespace qorv {

using platform::HANDLE;
using platform::TDateTime;

// The attributes given to downloaded files; one byte, bit n for ordinal n.
enum class TauFileAttribute : std::uint8_t {
  atrArchive,
  atrHidden,
  atrReadOnly,
  atrSystem,
  atrTemporary,
  atrOffline,
};

class TauFileAttributes {
public:
  constexpr TauFileAttributes() = default;
  constexpr TauFileAttributes(std::initializer_list<TauFileAttribute> members) {
    for (TauFileAttribute m : members) include(m);
  }
  constexpr static TauFileAttributes fromByte(std::uint8_t bits) {
    TauFileAttributes a;
    a.bits_ = bits & 0x3F;
    return a;
  }
  constexpr std::uint8_t toByte() const { return bits_; }
  constexpr bool contains(TauFileAttribute m) const { return (bits_ >> static_cast<int>(m)) & 1U; }
  constexpr void include(TauFileAttribute m) { bits_ = static_cast<std::uint8_t>(bits_ | (1U << static_cast<int>(m))); }
  constexpr void exclude(TauFileAttribute m) { bits_ = static_cast<std::uint8_t>(bits_ & ~(1U << static_cast<int>(m))); }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr bool operator==(const TauFileAttributes&) const = default;

private:
  std::uint8_t bits_ = 0;
};

// The system attribute bits for a set (0 for the empty set).
std::uint32_t FileAttributeBits(TauFileAttributes attributes);

// --- Online test -----------------------------------------------------------

// The registry's dial-up state when it has one ("Remote Connection" under
// System\CurrentControlSet\Services\RemoteAccess: first byte 1 = online, any
// other data = offline); otherwise the address test.
bool IsOnline();
// True when the last of the machine's own IPv4 addresses (the interfaces that
// are up) is not 127.0.0.1: a network interface besides loopback counts as
// online.
bool HasNonLoopbackAddress();

// --- Progress --------------------------------------------------------------

// Done * 100 / Total rounded half to even; 0 when Total is 0 and for any
// arithmetic fault (a result that is not a number or does not fit a byte).
std::uint8_t CalcPercent(double Total, double Done);

// --- Browser ---------------------------------------------------------------

// Opens URL ("http://" put in front when it has no "://") in the registered
// browser program (UseBrowserProgram) or through the shell. The shell's
// outcome is not examined.
void OpenURL(std::string URL, bool UseBrowserProgram);
// The program registered to open files of extension Ext; empty when none.
std::string GetAssociatedProgram(const std::string& Ext);
// Turns a registered command line into its program (Command) and its
// parameters (Params). An empty command leaves Params as it was.
void SplitCommandLine(std::string& Command, std::string& Params);

// --- Folders, URLs, versions -----------------------------------------------

// The private temporary folder, ending in the folder separator; the
// program's own folder when there is none.
void GetTempFolder(std::string& Folder);
bool FolderExists(const std::string& Name);
// The URL's last segment after "/", "\" or ":" (query text included).
void URLToFileName(const std::string& URL, std::string& FileName);
// Negative, 0 or positive: numeric comparison of up to four dot-separated
// parts, or of the whole strings when a part is not a number.
std::int8_t CompareVersions(const std::string& A, const std::string& B);
void SplitVersion(const std::string& Version, std::string Parts[4]);

// --- Files -----------------------------------------------------------------

// Sets the file's times; a value of exactly -1 keeps that time. Linux keeps
// no settable creation time: Created is accepted and has no effect. False
// when the file cannot be opened or the times cannot be written.
bool SetFileTimes(const std::string& FileName, TDateTime Created, TDateTime Written, TDateTime Accessed);
// The value's calendar fields as a DOS date and time (2-second resolution,
// years 1980 to 2107), taken as local time and stored as the universal file
// time, with the zone bias in force now (the one ParseHTTPDate applied). A
// value outside the DOS range leaves Time unchanged.
void DateTimeToFileTime(platform::FILETIME& Time, TDateTime Value);
// The size of an existing file; -1 when it cannot be opened or is a folder.
std::int64_t GetFileSize64(const std::string& FileName);
// The system's attributes for the set (the empty set makes a normal file).
bool ApplyFileAttributes(const std::string& FileName, TauFileAttributes Attributes);

// --- Resources, application ------------------------------------------------

// Writes the embedded resource into Stream in one write. False when Stream
// is absent, the resource is missing or empty, or the stream fails.
bool SaveResourceToStream(const char* Name, const char* ResType, platform::TStream* Stream);
// Asks the main form to close, then the application to terminate.
void CloseApplication();
// Zero-fills Size bytes of Rec and stores Size in its first 32-bit field.
void InitSizedRecord(void* Rec, int Size);

// --- Signal wait -----------------------------------------------------------

// Blocks the caller's flow until SetSignal(Signal), a timeout of one single
// wait (0 = none), or (StopWhenTerminating) the application terminating,
// while the application's messages keep being processed. Signal holds the
// wait's event during the wait and INVALID_HANDLE_VALUE afterwards.
void WaitForSignal(HANDLE& Signal, std::uint32_t Timeout, bool StopWhenTerminating);
// Ends a running wait; does nothing before the first wait or after one ended.
void SetSignal(HANDLE& Signal);

// --- HTTP dates --------------------------------------------------------------

// The three HTTP date forms and numeric zone offsets, as local time. Never
// fails: an empty text gives exactly 0; a text that does not parse gives the
// zero date shifted by the zone corrections.
TDateTime ParseHTTPDate(const std::string& Text);
// "+hhmm" / "-hhmm" as a signed day fraction; 0 for anything else.
double ParseZoneOffset(const std::string& Text);
// The day fraction by which universal time is ahead of local time now.
double GetTimeZoneBias();
TDateTime UTCToLocalDateTime(TDateTime Value);
void ExtractToken(std::string& Text, const std::string& Delim, bool Remove, std::string& Token);
int StringIndex(const std::string& Text, std::initializer_list<const char*> Items);
int DayOfWeekIndex(const std::string& Text);
int MonthIndex(const std::string& Text);

}  // namespace qorv
