// Files, attributes, directory search, moves and deletion, file times and
// sizes, in the shape of the system calls the modules make.
//
// A file HANDLE from CreateFile owns one open descriptor; CloseHandle
// closes it. A search HANDLE from FindFirstFile is closed with FindClose.
// Each call may run on any thread; one handle must not be used by two
// threads at once. Failures return the documented failure value (false,
// INVALID_HANDLE_VALUE, INVALID_FILE_ATTRIBUTES, INVALID_FILE_SIZE, ...) and
// set the calling thread's last error (Errors.h); nothing throws.
//
// How the attributes of the original system live on this one:
//   - FILE_ATTRIBUTE_DIRECTORY is the file type;
//   - FILE_ATTRIBUTE_READONLY is the owner's write bit being clear; setting
//     it clears every write bit, clearing it gives the owner the write bit.
//     Folders ignore the bit when it is set. A read-only file refuses to be opened for writing, deleted, or
//     replaced by a move (ERROR_ACCESS_DENIED), whoever the caller is;
//   - hidden, system, archive, temporary and offline are kept as a decimal
//     number in the extended attribute "user.qorv.attributes". Where the
//     file system keeps no extended attributes, setting any of them fails
//     with ERROR_NOT_SUPPORTED, and reading gives none of them.
// Names are case-sensitive and "/" separates folders. Sharing modes are
// accepted and not enforced, with one exception the applier relies on: an
// executable that some process runs cannot be opened for writing
// (ERROR_SHARING_VIOLATION).
//
// Files whose name ends in ".exe" (any letter case) are created executable
// (mode 0777 less the umask) and without following a symbolic link at the
// final name, since on this system only the mode bit makes a file runnable
// and such files are written into shared places to be started.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/Handles.h"
#include "platform/system/Errors.h"
#include "platform/system/Time.h"

namespace qorv::platform {

inline constexpr DWORD GENERIC_READ = 0x80000000U;
inline constexpr DWORD GENERIC_WRITE = 0x40000000U;

inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;

inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x100;
inline constexpr DWORD FILE_ATTRIBUTE_OFFLINE = 0x1000;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFU;

// The bits kept in the extended attribute.
inline constexpr DWORD kExtendedAttributeBits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                                FILE_ATTRIBUTE_OFFLINE;
inline constexpr const char* kAttributesXattrName = "user.qorv.attributes";

inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFU;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFU;

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;

inline constexpr std::size_t MAX_PATH = 260;

// Opens or creates Name. Access is GENERIC_READ, GENERIC_WRITE, both, or 0
// for a handle that only queries (size, times). The attributes are applied
// when the call creates the file (or replaces it, with CREATE_ALWAYS);
// FILE_ATTRIBUTE_NORMAL means none. With CREATE_ALWAYS and OPEN_ALWAYS an
// existing file gives last error ERROR_ALREADY_EXISTS on success, as the
// original system reports it; otherwise success sets ERROR_SUCCESS.
HANDLE CreateFile(const char* name, DWORD access, DWORD shareMode, const void* security,
                  DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);

// Short reads happen only at the end of the file; Read is 0 at the end.
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* overlapped);
// With DistanceHigh null the distance is a signed 32-bit value and the
// result must fit in 32 bits; with it, the two form one signed 64-bit
// distance and DistanceHigh receives the high half of the new position.
// INVALID_SET_FILE_POINTER with a last error other than ERROR_SUCCESS is a
// failure (a position of exactly 0xFFFFFFFF sets ERROR_SUCCESS).
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::int64_t* newPosition, DWORD method);
// Cuts or extends the file at the current position.
BOOL SetEndOfFile(HANDLE file);
// The low half of the size; High (optional) receives the high half. A size
// whose low half is 0xFFFFFFFF is told from a failure by a last error of
// ERROR_SUCCESS.
DWORD GetFileSize(HANDLE file, DWORD* high);
BOOL GetFileSizeEx(HANDLE file, std::int64_t* size);
BOOL FlushFileBuffers(HANDLE file);

// INVALID_FILE_ATTRIBUTES for a missing file; FILE_ATTRIBUTE_NORMAL when no
// other bit is set.
DWORD GetFileAttributes(const char* name);
// FILE_ATTRIBUTE_DIRECTORY in Attributes is ignored; 0 and
// FILE_ATTRIBUTE_NORMAL both mean a normal file.
BOOL SetFileAttributes(const char* name, DWORD attributes);

// Creation times cannot be set on Linux: SetFileTime accepts a creation
// time and ignores it. GetFileTime reports the birth time where the file
// system records one, else the time of the last status change. Null
// pointers leave that time alone. SetFileTime needs a handle opened for
// writing (ERROR_ACCESS_DENIED otherwise).
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                 const FILETIME* lastWrite);

struct WIN32_FIND_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];  // always empty
};

// Pattern is a folder (optional) and a file-name part in which "*" stands
// for any run of characters and "?" for one; "*.*" matches every name. The
// entries "." and ".." are never returned, nor names of MAX_PATH bytes or
// more. No match: INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND (or
// ERROR_PATH_NOT_FOUND when the folder does not exist). The entries come in
// the order the file system lists them, read when the search starts.
HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data);
// False with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFile(HANDLE search, WIN32_FIND_DATA* data);
BOOL FindClose(HANDLE search);
// Whether Name matches the file-name Pattern, by the rules above.
bool MatchesFilePattern(std::string_view name, std::string_view pattern);

// Fails with ERROR_ALREADY_EXISTS when NewName exists.
BOOL MoveFile(const char* existing, const char* newName);
// With MOVEFILE_REPLACE_EXISTING an existing file at NewName is replaced
// (not a folder, not a read-only file); with MOVEFILE_COPY_ALLOWED a move
// to another file system copies the data and deletes the original.
BOOL MoveFileEx(const char* existing, const char* newName, DWORD flags);
// Folders cannot be deleted this way (ERROR_ACCESS_DENIED).
BOOL DeleteFile(const char* name);
// ERROR_ALREADY_EXISTS when the folder (or a file of that name) exists.
BOOL CreateDirectory(const char* name, const void* security);
BOOL RemoveDirectory(const char* name);

// Convenience forms for the layer's own code and tests.
bool FileExists(const std::string& name);
bool DirectoryExists(const std::string& name);

}  // namespace qorv::platform
