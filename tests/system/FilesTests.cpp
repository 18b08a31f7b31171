#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <set>
#include <string>

#include "TempFolder.h"
#include "platform/core/Exceptions.h"
#include "platform/system/FileStream.h"
#include "platform/system/Files.h"

namespace qorv::platform {
namespace {

using test::readText;
using test::TempFolder;
using test::writeText;

bool xattrsWork(const std::string& folder) {
  const std::string probe = folder + "/.xattr-probe";
  writeText(probe, "x");
  const bool ok = ::setxattr(probe.c_str(), "user.qorv.probe", "1", 1, 0) == 0;
  ::unlink(probe.c_str());
  return ok;
}

struct DispositionCase {
  DWORD disposition;
  bool exists;
  bool succeeds;
  DWORD error;  // last error after the call
  const char* contentAfter;  // nullptr: no file afterwards
};

TEST(Files, CreateFileFollowsTheDispositions) {
  const DispositionCase cases[] = {
      {CREATE_NEW, false, true, ERROR_SUCCESS, "new"},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, "new"},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "new"},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "new"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, "new"},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "new"},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, "new"},
  };
  for (const DispositionCase& row : cases) {
    SCOPED_TRACE("disposition " + std::to_string(row.disposition) + (row.exists ? " existing" : " missing"));
    TempFolder dir;
    const std::string name = dir / "file.dat";
    if (row.exists) writeText(name, "old");
    HANDLE h = CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, row.disposition,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(GetLastError(), row.error);
    ASSERT_EQ(h != INVALID_HANDLE_VALUE, row.succeeds);
    if (h != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      // "new" overwrites "old" at position 0 whether or not it was cut.
      ASSERT_TRUE(WriteFile(h, "new", 3, &written, nullptr));
      EXPECT_EQ(written, 3U);
      CloseHandle(h);
    }
    if (row.contentAfter != nullptr) EXPECT_EQ(readText(name), row.contentAfter);
    else EXPECT_FALSE(FileExists(name));
  }
}

TEST(Files, MissingFolderIsPathNotFound) {
  TempFolder dir;
  const std::string name = dir / "no-such-folder/file";
  EXPECT_EQ(CreateFile(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributes(name.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributes((dir / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SysErrorMessage(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.");
}

TEST(Files, AFolderIsNotOpenedAsAFile) {
  TempFolder dir;
  for (DWORD access : {DWORD{0}, GENERIC_READ, GENERIC_WRITE}) {
    SCOPED_TRACE(access);
    EXPECT_EQ(CreateFile(dir.path().c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
}

TEST(Files, ReadsWritesAndSeeks) {
  TempFolder dir;
  const std::string name = dir / "data.bin";
  HANDLE h = CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &n, nullptr));
  EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4U);
  char buffer[16] = {};
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "456789");
  ASSERT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(n, 0U);
  EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7U);
  EXPECT_TRUE(SetEndOfFile(h));
  DWORD high = 99;
  EXPECT_EQ(GetFileSize(h, &high), 7U);
  EXPECT_EQ(high, 0U);
  EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  CloseHandle(h);

  // A query-only handle reads the size but no data.
  h = CreateFile(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                 nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 7U);
  EXPECT_FALSE(ReadFile(h, buffer, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);
}

TEST(Files, SizesBeyondFourGigabytes) {
  TempFolder dir;
  const std::string name = dir / "sparse.bin";
  HANDLE h = CreateFile(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const std::int64_t fiveGiB = 5LL << 30;
  std::int64_t position = 0;
  ASSERT_TRUE(SetFilePointerEx(h, fiveGiB, &position, FILE_BEGIN));
  if (!SetEndOfFile(h)) {
    CloseHandle(h);
    GTEST_SKIP() << "the file system refuses a sparse file of 5 GiB";
  }
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(h, &high), 1U << 30);
  EXPECT_EQ(high, 1U);
  std::int64_t size = 0;
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size, fiveGiB);
  // The 64-bit form of SetFilePointer through the high half.
  LONG distanceHigh = 0;
  EXPECT_EQ(SetFilePointer(h, 0, &distanceHigh, FILE_END), 1U << 30);
  EXPECT_EQ(distanceHigh, 1);
  // Without a high half a position past 4 GiB cannot be reported.
  EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
  CloseHandle(h);
}

TEST(Files, AttributesRoundTrip) {
  TempFolder dir;
  if (!xattrsWork(dir.path())) GTEST_SKIP() << "no user extended attributes on " << dir.path();
  const std::string name = dir / "download.dat";
  writeText(name, "x");
  EXPECT_EQ(GetFileAttributes(name.c_str()), FILE_ATTRIBUTE_NORMAL);

  struct Row {
    DWORD set;
    DWORD expected;
  };
  const Row rows[] = {
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY},
      {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_OFFLINE, FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_OFFLINE},
      {0, FILE_ATTRIBUTE_NORMAL},
      {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
      {FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
      {FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_ARCHIVE},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("set " + std::to_string(row.set));
    ASSERT_TRUE(SetFileAttributes(name.c_str(), row.set));
    EXPECT_EQ(GetFileAttributes(name.c_str()), row.expected);
    // The directory search reports the same bits.
    WIN32_FIND_DATA data{};
    HANDLE search = FindFirstFile(name.c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.dwFileAttributes, row.expected);
    FindClose(search);
  }
  EXPECT_EQ(GetFileAttributes(dir.path().c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

TEST(Files, CreationAppliesAttributes) {
  TempFolder dir;
  if (!xattrsWork(dir.path())) GTEST_SKIP() << "no user extended attributes on " << dir.path();
  const std::string name = dir / "Upgrader3.exe";
  HANDLE h = CreateFile(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_TEMPORARY, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributes(name.c_str()), FILE_ATTRIBUTE_TEMPORARY);
  struct stat st {};
  ASSERT_EQ(::stat(name.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0U) << "a .exe file is created runnable";
}

TEST(Files, ReadOnlyBlocksWritingForEveryone) {
  TempFolder dir;
  const std::string name = dir / "locked.txt";
  writeText(name, "keep");
  ASSERT_TRUE(SetFileAttributes(name.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributes(name.c_str()) & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(CreateFile(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFile(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteFile(name.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(readText(name), "keep");
  // Reading still works; clearing the bit allows writing again.
  HANDLE h = CreateFile(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  ASSERT_TRUE(SetFileAttributes(name.c_str(), FILE_ATTRIBUTE_NORMAL));
  h = CreateFile(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(DeleteFile(name.c_str()));
}

TEST(Files, MatchesWildcards) {
  struct Row {
    const char* name;
    const char* pattern;
    bool matches;
  };
  const Row rows[] = {
      {"Qorv.exe.uTMP", "*.uTMP", true}, {"Qorv.exe.utmp", "*.uTMP", false}, {".uTMP", "*.uTMP", true},
      {"a.uTMPx", "*.uTMP", false},      {"abc", "a?c", true},               {"ac", "a?c", false},
      {"abc", "*", true},                {"noext", "*.*", true},             {"a.b.c", "*.c", true},
      {"aXbXc", "a*b*c", true},          {"aXbX", "a*b*c", false},           {"exact", "exact", true},
      {"", "*", true},                   {"x", "", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name) + " ~ " + row.pattern);
    EXPECT_EQ(MatchesFilePattern(row.name, row.pattern), row.matches);
  }
}

TEST(Files, FindsFilesByPattern) {
  TempFolder dir;
  for (const char* name : {"a.uTMP", "b.uTMP", "c.txt", "ab1.dat"}) writeText(dir / name, name);
  struct Row {
    const char* pattern;
    std::set<std::string> expected;
    DWORD errorWhenNone;
  };
  const Row rows[] = {
      {"*.uTMP", {"a.uTMP", "b.uTMP"}, 0},
      {"?.uTMP", {"a.uTMP", "b.uTMP"}, 0},
      {"a?1.*", {"ab1.dat"}, 0},
      {"*", {"a.uTMP", "b.uTMP", "c.txt", "ab1.dat"}, 0},
      {"*.*", {"a.uTMP", "b.uTMP", "c.txt", "ab1.dat"}, 0},
      {"c.txt", {"c.txt"}, 0},
      {"none*", {}, ERROR_FILE_NOT_FOUND},
      {"missing-folder/*", {}, ERROR_PATH_NOT_FOUND},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pattern);
    const std::string pattern = dir / row.pattern;
    WIN32_FIND_DATA data{};
    HANDLE search = FindFirstFile(pattern.c_str(), &data);
    if (row.expected.empty()) {
      EXPECT_EQ(search, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), row.errorWhenNone);
      continue;
    }
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::set<std::string> found;
    do {
      found.insert(data.cFileName);
      EXPECT_EQ(data.nFileSizeLow, std::string(data.cFileName).size());
    } while (FindNextFile(search, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(found, row.expected);
  }
}

TEST(Files, MovesOverAnExistingFileOnlyWhenAsked) {
  TempFolder dir;
  const std::string pending = dir / "Qorv.uTMP";
  const std::string target = dir / "Qorv";
  writeText(pending, "new");
  writeText(target, "old");
  EXPECT_FALSE(MoveFile(pending.c_str(), target.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(readText(target), "old");
  EXPECT_TRUE(MoveFileEx(pending.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(readText(target), "new");
  EXPECT_FALSE(FileExists(pending));
  // A plain move to a free name works; a missing source fails.
  EXPECT_TRUE(MoveFile(target.c_str(), (dir / "moved").c_str()));
  EXPECT_FALSE(MoveFile(target.c_str(), (dir / "again").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  // Folders.
  EXPECT_TRUE(CreateDirectory((dir / "sub").c_str(), nullptr));
  EXPECT_FALSE(CreateDirectory((dir / "sub").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(DeleteFile((dir / "sub").c_str()));
  EXPECT_TRUE(RemoveDirectory((dir / "sub").c_str()));
}

FILETIME fileTimeOf(WORD year, WORD month, WORD day, WORD hour) {
  SYSTEMTIME st{};
  st.wYear = year;
  st.wMonth = month;
  st.wDay = day;
  st.wHour = hour;
  FILETIME ft{};
  EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
  return ft;
}

TEST(Files, WriteAndAccessTimesAreSetCreationTimeIsKept) {
  TempFolder dir;
  const std::string name = dir / "dated.bin";
  writeText(name, "x");
  HANDLE h = CreateFile(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  FILETIME creationBefore{};
  ASSERT_TRUE(GetFileTime(h, &creationBefore, nullptr, nullptr));
  const FILETIME created = fileTimeOf(2001, 2, 3, 4);
  const FILETIME accessed = fileTimeOf(2002, 3, 4, 5);
  const FILETIME written = fileTimeOf(1994, 11, 6, 8);
  ASSERT_TRUE(SetFileTime(h, &created, &accessed, &written));
  FILETIME c{};
  FILETIME a{};
  FILETIME w{};
  ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
  EXPECT_EQ(FileTimeToUInt64(w), FileTimeToUInt64(written));
  EXPECT_EQ(FileTimeToUInt64(a), FileTimeToUInt64(accessed));
  // Linux cannot set a creation time: the birth time (or the change time)
  // is what the file system keeps, never the requested value.
  EXPECT_NE(FileTimeToUInt64(c), FileTimeToUInt64(created));
  EXPECT_GE(FileTimeToUInt64(c), FileTimeToUInt64(creationBefore) - 1);
  // Null keeps a time.
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &accessed));
  ASSERT_TRUE(GetFileTime(h, nullptr, &a, &w));
  EXPECT_EQ(FileTimeToUInt64(w), FileTimeToUInt64(accessed));
  EXPECT_EQ(FileTimeToUInt64(a), FileTimeToUInt64(accessed));
  CloseHandle(h);
  // SetFileTime needs write access.
  h = CreateFile(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(SetFileTime(h, nullptr, nullptr, &written));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);
}

TEST(Files, DosDatesAndSystemTimes) {
  struct Row {
    WORD date;
    WORD time;
    bool valid;
    SYSTEMTIME expected;
  };
  // date = (year-1980)<<9 | month<<5 | day; time = hour<<11 | minute<<5 | second/2
  const Row rows[] = {
      {(14 << 9) | (11 << 5) | 6, (8 << 11) | (49 << 5) | 18, true, {1994, 11, 0, 6, 8, 49, 36, 0}},
      {(0 << 9) | (1 << 5) | 1, 0, true, {1980, 1, 2, 1, 0, 0, 0, 0}},
      {(127 << 9) | (12 << 5) | 31, (23 << 11) | (59 << 5) | 29, true, {2107, 12, 0, 31, 23, 59, 58, 0}},
      {(20 << 9) | (2 << 5) | 29, 0, true, {2000, 2, 2, 29, 0, 0, 0, 0}},
      {(21 << 9) | (2 << 5) | 29, 0, false, {}},
      {(14 << 9) | (0 << 5) | 6, 0, false, {}},
      {(14 << 9) | (13 << 5) | 6, 0, false, {}},
      {(14 << 9) | (1 << 5) | 1, (24 << 11), false, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("date " + std::to_string(row.date) + " time " + std::to_string(row.time));
    FILETIME ft{};
    ASSERT_EQ(DosDateTimeToFileTime(row.date, row.time, &ft) != 0, row.valid);
    if (!row.valid) continue;
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wYear, row.expected.wYear);
    EXPECT_EQ(st.wMonth, row.expected.wMonth);
    EXPECT_EQ(st.wDay, row.expected.wDay);
    EXPECT_EQ(st.wHour, row.expected.wHour);
    EXPECT_EQ(st.wMinute, row.expected.wMinute);
    EXPECT_EQ(st.wSecond, row.expected.wSecond);
    WORD date = 0;
    WORD time = 0;
    ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
    EXPECT_EQ(date, row.date);
    EXPECT_EQ(time, row.time);
  }
  // 1 January 1601 is the zero point; 1970 is the Unix epoch.
  EXPECT_EQ(FileTimeToUInt64(fileTimeOf(1601, 1, 1, 0)), 0U);
  EXPECT_EQ(FileTimeToUInt64(fileTimeOf(1970, 1, 1, 0)), 116444736000000000ULL);
  FILETIME before1980 = fileTimeOf(1979, 12, 31, 23);
  WORD d = 0;
  WORD t = 0;
  EXPECT_FALSE(FileTimeToDosDateTime(&before1980, &d, &t));
  SYSTEMTIME thursday{};
  const FILETIME epoch = fileTimeOf(1970, 1, 1, 0);
  ASSERT_TRUE(FileTimeToSystemTime(&epoch, &thursday));
  EXPECT_EQ(thursday.wDayOfWeek, 4);
}

TEST(FileStreams, ReadWriteSeekAndErrors) {
  TempFolder dir;
  const std::string name = dir / "stream.bin";
  {
    TFileStream stream(name, fmCreate);
    stream.WriteBuffer("hello world", 11);
    EXPECT_EQ(stream.Size(), 11);
    EXPECT_EQ(stream.Seek(6, soBeginning), 6);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 8), 5);
    EXPECT_EQ(std::string(buffer, 5), "world");
    stream.SetSize(5);
    EXPECT_EQ(stream.Position(), 5);
  }
  EXPECT_EQ(readText(name), "hello");
  try {
    TFileStream missing(dir / "missing.bin", fmOpenRead);
    FAIL() << "opening a missing file must raise";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + (dir / "missing.bin") + "\". The system cannot find the file specified.");
  }
  try {
    TFileStream bad(dir / "no-folder/x.bin", fmCreate);
    FAIL() << "creating in a missing folder must raise";
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find("Cannot create file"), std::string::npos);
    EXPECT_NE(e.Message().find("The system cannot find the path specified."), std::string::npos);
  }
  // A handle stream leaves its handle open.
  HANDLE h = CreateFile(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  {
    THandleStream stream(h);
    EXPECT_EQ(stream.Size(), 5);
    EXPECT_EQ(stream.Write("x", 1), 0);
  }
  EXPECT_EQ(GetFileSize(h, nullptr), 5U);
  CloseHandle(h);
}

}  // namespace
}  // namespace qorv::platform
