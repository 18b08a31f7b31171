#include "platform/system/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace qorv::platform {

namespace {

class FileObject final : public KernelObject {
public:
  FileObject(int fd, DWORD access) : fd_(fd), access_(access) {}
  ~FileObject() override {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }
  bool canRead() const { return (access_ & GENERIC_READ) != 0; }
  bool canWrite() const { return (access_ & GENERIC_WRITE) != 0; }

private:
  int fd_;
  DWORD access_;
};

class SearchObject final : public KernelObject {
public:
  std::string folder;  // with a trailing "/" unless empty
  std::vector<std::string> names;
  std::size_t next = 0;
};

FileObject* asFile(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<FileObject*>(handle);
}

bool endsWithExe(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view tail = name.substr(name.size() - 4);
  return tail[0] == '.' && (tail[1] | 0x20) == 'e' && (tail[2] | 0x20) == 'x' && (tail[3] | 0x20) == 'e';
}

std::string parentOf(const std::string& name) {
  const auto slash = name.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return name.substr(0, slash);
}

// ENOENT means a missing folder on the way when the parent is absent.
void setLastErrorForPath(int err, const char* name) {
  if (err == ENOENT && name != nullptr) {
    struct stat st {};
    const std::string parent = parentOf(name);
    if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return;
    }
  }
  SetLastErrorFromErrno(err);
}

bool isReadOnlyMode(mode_t mode) { return (mode & S_IWUSR) == 0; }

// The extra bits of the extended attribute; 0 when there are none or the
// file system keeps none.
DWORD readExtraBits(const char* name) {
  char buffer[32] = {};
  const ssize_t n = ::getxattr(name, kAttributesXattrName, buffer, sizeof buffer - 1);
  if (n <= 0) return 0;
  buffer[n] = '\0';
  char* end = nullptr;
  const unsigned long value = std::strtoul(buffer, &end, 10);
  if (end == buffer) return 0;
  return static_cast<DWORD>(value) & kExtendedAttributeBits;
}

// Writes or removes the extended attribute. Errno is kept on failure.
bool writeExtraBits(const char* name, DWORD extra) {
  if (extra == 0) {
    if (::removexattr(name, kAttributesXattrName) == 0) return true;
    return errno == ENODATA || errno == ENOTSUP;
  }
  const std::string text = std::to_string(extra);
  return ::setxattr(name, kAttributesXattrName, text.data(), text.size(), 0) == 0;
}

DWORD attributesFromStat(const char* name, const struct stat& st) {
  DWORD result = 0;
  if (S_ISDIR(st.st_mode)) result |= FILE_ATTRIBUTE_DIRECTORY;
  if (isReadOnlyMode(st.st_mode)) result |= FILE_ATTRIBUTE_READONLY;
  result |= readExtraBits(name);
  return result == 0 ? FILE_ATTRIBUTE_NORMAL : result;
}

}  // namespace

HANDLE CreateFile(const char* name, DWORD access, DWORD /*shareMode*/, const void* /*security*/,
                  DWORD disposition, DWORD flagsAndAttributes, HANDLE /*templateFile*/) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const bool wantRead = (access & GENERIC_READ) != 0;
  const bool wantWrite = (access & GENERIC_WRITE) != 0;
  int flags = O_CLOEXEC;
  if (wantRead && wantWrite) flags |= O_RDWR;
  else if (wantWrite) flags |= O_WRONLY;
  else if (wantRead) flags |= O_RDONLY;
  else flags |= O_PATH;
  const bool executable = endsWithExe(name);
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!wantWrite) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_TRUNC;
      break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  if ((flags & O_CREAT) != 0 && (flags & O_PATH) != 0) {
    // A query-only handle cannot create; open for reading instead.
    flags = (flags & ~O_PATH) | O_RDONLY;
  }
  if (executable && (flags & O_CREAT) != 0) flags |= O_NOFOLLOW;

  struct stat before {};
  const bool existed = ::stat(name, &before) == 0;
  if (existed && disposition == CREATE_NEW) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }
  if (existed && S_ISREG(before.st_mode) && isReadOnlyMode(before.st_mode) &&
      (wantWrite || (flags & O_TRUNC) != 0)) {
    // Read-only holds for every caller, root included.
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // A folder is no file: the system this stands in for refuses to open one
  // here, so a size or time query on a folder fails instead of reading the
  // folder's entry.
  if (existed && S_ISDIR(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }

  const mode_t mode = executable ? 0777 : 0666;
  const int fd = ::open(name, flags, mode);
  if (fd < 0) {
    const int err = errno;
    if (err == EEXIST) SetLastError(ERROR_FILE_EXISTS);
    else setLastErrorForPath(err, name);
    return INVALID_HANDLE_VALUE;
  }
  const bool created = !existed || disposition == CREATE_ALWAYS;
  if (created) {
    if (executable && existed) {
      struct stat now {};
      if (::fstat(fd, &now) == 0 && (now.st_mode & S_IXUSR) == 0) ::fchmod(fd, (now.st_mode & 07777) | S_IXUSR);
    }
    DWORD attrs = flagsAndAttributes & (kExtendedAttributeBits | FILE_ATTRIBUTE_READONLY);
    const DWORD extra = attrs & kExtendedAttributeBits;
    // An unsupported extended attribute does not undo the creation; the
    // file simply carries no extra bits.
    if (extra != 0) {
      const std::string text = std::to_string(extra);
      ::fsetxattr(fd, kAttributesXattrName, text.data(), text.size(), 0);
    } else if (existed) ::fremovexattr(fd, kAttributesXattrName);
    if ((attrs & FILE_ATTRIBUTE_READONLY) != 0) {
      struct stat now {};
      if (::fstat(fd, &now) == 0) ::fchmod(fd, now.st_mode & 07555);
    }
  }
  SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                       : ERROR_SUCCESS);
  return new FileObject(fd, access);
}

namespace {

enum class FileAccess { Any, Read, Write };

// The open file behind Handle when it allows the access and the buffer fits
// the count; otherwise null with the last error set.
FileObject* fileFor(HANDLE file, FileAccess access, const void* buffer, DWORD count) {
  FileObject* f = asFile(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((access == FileAccess::Read && !f->canRead()) || (access == FileAccess::Write && !f->canWrite())) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (buffer == nullptr && count != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return f;
}

}  // namespace

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, void* /*overlapped*/) {
  if (read != nullptr) *read = 0;
  FileObject* f = fileFor(file, FileAccess::Read, buffer, toRead);
  if (f == nullptr) return 0;
  DWORD done = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (done < toRead) {
    const ssize_t n = ::read(f->fd(), bytes + done, toRead - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastErrorFromErrno(errno);
      if (read != nullptr) *read = done;
      return 0;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (read != nullptr) *read = done;
  return 1;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, void* /*overlapped*/) {
  if (written != nullptr) *written = 0;
  FileObject* f = fileFor(file, FileAccess::Write, buffer, toWrite);
  if (f == nullptr) return 0;
  DWORD done = 0;
  const auto* bytes = static_cast<const unsigned char*>(buffer);
  while (done < toWrite) {
    const ssize_t n = ::write(f->fd(), bytes + done, toWrite - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastErrorFromErrno(errno);
      if (written != nullptr) *written = done;
      return 0;
    }
    done += static_cast<DWORD>(n);
  }
  if (written != nullptr) *written = done;
  return 1;
}

BOOL SetFilePointerEx(HANDLE file, std::int64_t distance, std::int64_t* newPosition, DWORD method) {
  FileObject* f = asFile(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  int whence = SEEK_SET;
  switch (method) {
    case FILE_BEGIN: whence = SEEK_SET; break;
    case FILE_CURRENT: whence = SEEK_CUR; break;
    case FILE_END: whence = SEEK_END; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
  const off_t result = ::lseek(f->fd(), static_cast<off_t>(distance), whence);
  if (result < 0) {
    SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
    return 0;
  }
  if (newPosition != nullptr) *newPosition = result;
  return 1;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
  std::int64_t move = distance;
  if (distanceHigh != nullptr) {
    move = static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                     static_cast<DWORD>(distance));
  } else if (asFile(file) != nullptr) {
    // Without a high half the result has to fit in 32 bits.
    std::int64_t current = 0;
    std::int64_t base = 0;
    if (method == FILE_CURRENT && SetFilePointerEx(file, 0, &current, FILE_CURRENT)) base = current;
    if (method == FILE_END) {
      struct stat st {};
      if (::fstat(asFile(file)->fd(), &st) == 0) base = st.st_size;
    }
    if (base + move > 0xFFFFFFFELL) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
    }
  }
  std::int64_t position = 0;
  if (!SetFilePointerEx(file, move, &position, method)) return INVALID_SET_FILE_POINTER;
  if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(position) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<std::uint64_t>(position) & 0xFFFFFFFFU);
}

BOOL SetEndOfFile(HANDLE file) {
  FileObject* f = fileFor(file, FileAccess::Write, nullptr, 0);
  if (f == nullptr) return 0;
  const off_t position = ::lseek(f->fd(), 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(f->fd(), position) != 0) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  return 1;
}

BOOL GetFileSizeEx(HANDLE file, std::int64_t* size) {
  FileObject* f = fileFor(file, FileAccess::Any, nullptr, 0);
  if (f == nullptr) return 0;
  struct stat st {};
  if (::fstat(f->fd(), &st) != 0) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  if (size != nullptr) *size = st.st_size;
  return 1;
}

DWORD GetFileSize(HANDLE file, DWORD* high) {
  std::int64_t size = 0;
  if (!GetFileSizeEx(file, &size)) return INVALID_FILE_SIZE;
  if (high != nullptr) *high = static_cast<DWORD>(static_cast<std::uint64_t>(size) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(static_cast<std::uint64_t>(size) & 0xFFFFFFFFU);
}

BOOL FlushFileBuffers(HANDLE file) {
  FileObject* f = fileFor(file, FileAccess::Write, nullptr, 0);
  if (f == nullptr) return 0;
  if (::fsync(f->fd()) != 0) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  return 1;
}

DWORD GetFileAttributes(const char* name) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st {};
  if (::stat(name, &st) != 0) {
    setLastErrorForPath(errno, name);
    return INVALID_FILE_ATTRIBUTES;
  }
  return attributesFromStat(name, st);
}

BOOL SetFileAttributes(const char* name, DWORD attributes) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  struct stat st {};
  if (::stat(name, &st) != 0) {
    setLastErrorForPath(errno, name);
    return 0;
  }
  const DWORD extra = attributes & kExtendedAttributeBits;
  const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  const mode_t oldMode = st.st_mode & 07777;
  const mode_t writable = oldMode | S_IWUSR;
  // Folders keep their mode: on the original system the read-only bit of
  // a folder does not stop anyone from creating files in it.
  const mode_t newMode = S_ISDIR(st.st_mode) ? oldMode : readOnly ? (oldMode & ~static_cast<mode_t>(0222)) : writable;

  // Unprivileged users need write permission for a user extended
  // attribute, so the bits are written while the file is writable.
  if (isReadOnlyMode(oldMode) && readExtraBits(name) != extra) {
    if (::chmod(name, writable) != 0) {
      SetLastErrorFromErrno(errno);
      return 0;
    }
  }
  if (!writeExtraBits(name, extra)) {
    const int err = errno;
    ::chmod(name, oldMode);
    SetLastErrorFromErrno(err);
    return 0;
  }
  if (::chmod(name, newMode) != 0) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  return 1;
}

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite) {
  FileObject* f = asFile(file);
  if (f == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  struct statx sx {};
  if (::statx(f->fd(), "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  if (creation != nullptr) {
    const bool haveBirth = (sx.stx_mask & STATX_BTIME) != 0;
    const struct statx_timestamp& t = haveBirth ? sx.stx_btime : sx.stx_ctime;
    *creation = UnixTimeToFileTime(t.tv_sec, static_cast<long>(t.tv_nsec));
  }
  if (lastAccess != nullptr) *lastAccess = UnixTimeToFileTime(sx.stx_atime.tv_sec, static_cast<long>(sx.stx_atime.tv_nsec));
  if (lastWrite != nullptr) *lastWrite = UnixTimeToFileTime(sx.stx_mtime.tv_sec, static_cast<long>(sx.stx_mtime.tv_nsec));
  return 1;
}

BOOL SetFileTime(HANDLE file, const FILETIME* /*creation*/, const FILETIME* lastAccess, const FILETIME* lastWrite) {
  FileObject* f = fileFor(file, FileAccess::Write, nullptr, 0);
  if (f == nullptr) return 0;
  struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  const FILETIME* given[2] = {lastAccess, lastWrite};
  for (int i = 0; i < 2; ++i) {
    if (given[i] == nullptr) continue;
    std::int64_t seconds = 0;
    long nanoseconds = 0;
    FileTimeToUnixTime(*given[i], seconds, nanoseconds);
    times[i].tv_sec = static_cast<time_t>(seconds);
    times[i].tv_nsec = nanoseconds;
  }
  if (::futimens(f->fd(), times) != 0) {
    SetLastErrorFromErrno(errno);
    return 0;
  }
  return 1;
}

bool MatchesFilePattern(std::string_view name, std::string_view pattern) {
  if (pattern == "*.*") pattern = "*";
  // Iterative wildcard match with one back-tracking point per "*".
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t starP = std::string_view::npos;
  std::size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

void fillFindData(const SearchObject& search, const std::string& name, WIN32_FIND_DATA& data) {
  std::memset(&data, 0, sizeof data);
  std::memcpy(data.cFileName, name.data(), name.size());
  const std::string full = search.folder + name;
  struct statx sx {};
  if (::statx(AT_FDCWD, full.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0 &&
      ::statx(AT_FDCWD, full.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    data.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    return;
  }
  struct stat st {};
  st.st_mode = sx.stx_mode;
  data.dwFileAttributes = attributesFromStat(full.c_str(), st);
  const struct statx_timestamp& birth = (sx.stx_mask & STATX_BTIME) != 0 ? sx.stx_btime : sx.stx_ctime;
  data.ftCreationTime = UnixTimeToFileTime(birth.tv_sec, static_cast<long>(birth.tv_nsec));
  data.ftLastAccessTime = UnixTimeToFileTime(sx.stx_atime.tv_sec, static_cast<long>(sx.stx_atime.tv_nsec));
  data.ftLastWriteTime = UnixTimeToFileTime(sx.stx_mtime.tv_sec, static_cast<long>(sx.stx_mtime.tv_nsec));
  if (!S_ISDIR(sx.stx_mode)) {
    data.nFileSizeHigh = static_cast<DWORD>(sx.stx_size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(sx.stx_size & 0xFFFFFFFFU);
  }
}

}  // namespace

HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) {
  if (pattern == nullptr || *pattern == '\0' || data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string text(pattern);
  const auto slash = text.find_last_of('/');
  auto search = std::make_unique<SearchObject>();
  std::string namePattern = text;
  std::string folder = ".";
  if (slash != std::string::npos) {
    search->folder = text.substr(0, slash + 1);
    folder = slash == 0 ? "/" : text.substr(0, slash);
    namePattern = text.substr(slash + 1);
  }
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  while (const struct dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == ".." || name.size() >= MAX_PATH) continue;
    if (MatchesFilePattern(name, namePattern)) search->names.emplace_back(name);
  }
  ::closedir(dir);
  if (search->names.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  fillFindData(*search, search->names[0], *data);
  search->next = 1;
  SetLastError(ERROR_SUCCESS);
  return search.release();
}

BOOL FindNextFile(HANDLE handle, WIN32_FIND_DATA* data) {
  auto* search = handle == nullptr || handle == INVALID_HANDLE_VALUE ? nullptr : dynamic_cast<SearchObject*>(handle);
  if (search == nullptr || data == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (search->next >= search->names.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return 0;
  }
  fillFindData(*search, search->names[search->next++], *data);
  return 1;
}

BOOL FindClose(HANDLE handle) {
  auto* search = handle == nullptr || handle == INVALID_HANDLE_VALUE ? nullptr : dynamic_cast<SearchObject*>(handle);
  if (search == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  delete search;
  return 1;
}

namespace {

bool copyFileData(const char* from, const char* to) {
  const int in = ::open(from, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  ::fstat(in, &st);
  const int out = ::open(to, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777);
  if (out < 0) {
    const int err = errno;
    ::close(in);
    errno = err;
    return false;
  }
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ssize_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(out, buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  const int err = errno;
  ::close(in);
  if (::close(out) != 0) ok = false;
  if (!ok) {
    ::unlink(to);
    errno = err;
  }
  return ok;
}

}  // namespace

BOOL MoveFileEx(const char* existing, const char* newName, DWORD flags) {
  if (existing == nullptr || newName == nullptr || *existing == '\0' || *newName == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  struct stat source {};
  if (::lstat(existing, &source) != 0) {
    setLastErrorForPath(errno, existing);
    return 0;
  }
  struct stat target {};
  const bool targetExists = ::lstat(newName, &target) == 0;
  if (targetExists) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return 0;
    }
    if (S_ISDIR(target.st_mode) || (S_ISREG(target.st_mode) && isReadOnlyMode(target.st_mode))) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  int result = 0;
  if ((flags & MOVEFILE_REPLACE_EXISTING) != 0) {
    result = ::rename(existing, newName);
  } else {
    result = ::renameat2(AT_FDCWD, existing, AT_FDCWD, newName, RENAME_NOREPLACE);
    if (result != 0 && errno == EINVAL) {
      // File systems without the no-replace rename: a hard link fails
      // rather than replace, then the old name goes.
      result = ::link(existing, newName);
      if (result == 0) ::unlink(existing);
      else if (errno == EPERM || errno == EMLINK) result = ::rename(existing, newName);
    }
  }
  if (result == 0) return 1;
  int err = errno;
  if (err == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) != 0 && S_ISREG(source.st_mode)) {
    if (copyFileData(existing, newName)) {
      ::unlink(existing);
      return 1;
    }
    err = errno;
  }
  if (err == EEXIST) SetLastError(ERROR_ALREADY_EXISTS);
  else setLastErrorForPath(err, err == ENOENT ? newName : existing);
  return 0;
}

BOOL MoveFile(const char* existing, const char* newName) { return MoveFileEx(existing, newName, MOVEFILE_COPY_ALLOWED); }

BOOL DeleteFile(const char* name) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  struct stat st {};
  if (::lstat(name, &st) != 0) {
    setLastErrorForPath(errno, name);
    return 0;
  }
  if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && isReadOnlyMode(st.st_mode))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  if (::unlink(name) != 0) {
    setLastErrorForPath(errno, name);
    return 0;
  }
  return 1;
}

BOOL CreateDirectory(const char* name, const void* /*security*/) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  if (::mkdir(name, 0777) != 0) {
    const int err = errno;
    if (err == EEXIST) SetLastError(ERROR_ALREADY_EXISTS);
    else if (err == ENOENT) SetLastError(ERROR_PATH_NOT_FOUND);
    else SetLastErrorFromErrno(err);
    return 0;
  }
  return 1;
}

BOOL RemoveDirectory(const char* name) {
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  if (::rmdir(name) != 0) {
    const int err = errno;
    if (err == ENOTDIR) SetLastError(ERROR_DIRECTORY);
    else setLastErrorForPath(err, name);
    return 0;
  }
  return 1;
}

bool FileExists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace qorv::platform
