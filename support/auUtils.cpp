#include "support/auUtils.h"

#include <cfenv>
#include <cmath>
#include <cstring>

#include "platform/core/SysUtils.h"
#include "platform/messages/Events.h"
#include "platform/messages/Messages.h"
#include "platform/system/Environment.h"
#include "platform/system/Process.h"
#include "platform/system/Registry.h"
#include "platform/system/Resources.h"
#include "platform/system/Time.h"
#include "platform/ui/Forms.h"

namespace qorv {

using namespace platform;

namespace {

// 32-bit signed integer text as the class library reads it (leading blanks,
// a sign, decimal digits or "$"/"0x" hexadecimal); trailing blanks, other
// characters and overflow do not convert.
bool ToInt32(const std::string& text, int& value) {
  return TryStrToInt(text, value);
}

int ToInt32Def(const std::string& text, int fallback) {
  int v = 0;
  return ToInt32(text, v) ? v : fallback;
}

bool IsFolderSeparator(char c) { return c == '\\' || c == ':' || c == '/'; }

// Position (0-based) just after the last folder separator; 0 when none.
std::size_t FileNameStart(const std::string& s) {
  for (std::size_t i = s.size(); i > 0; --i)
    if (IsFolderSeparator(s[i - 1])) return i;
  return 0;
}

// From the last "." after the last separator, the "." included.
std::string ExtensionOf(const std::string& s) {
  std::size_t start = FileNameStart(s);
  std::size_t dot = s.rfind('.');
  if (dot == std::string::npos || dot < start) return {};
  return s.substr(dot);
}

}  // namespace

std::uint32_t FileAttributeBits(TauFileAttributes attributes) {
  static constexpr std::uint32_t kBits[] = {
      FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_HIDDEN,    FILE_ATTRIBUTE_READONLY,
      FILE_ATTRIBUTE_SYSTEM,  FILE_ATTRIBUTE_TEMPORARY, FILE_ATTRIBUTE_OFFLINE,
  };
  std::uint32_t bits = 0;
  for (int i = 0; i < 6; ++i)
    if (attributes.contains(static_cast<TauFileAttribute>(i))) bits |= kBits[i];
  return bits;
}

std::uint8_t CalcPercent(double Total, double Done) {
  if (Total == 0) return 0;
  double ratio = Done * 100.0 / Total;
  if (!std::isfinite(ratio)) return 0;
  // nearbyint follows the current rounding mode, which is round-half-even
  // unless someone changed it; pin it for the one call.
  const int saved = std::fegetround();
  std::fesetround(FE_TONEAREST);
  double rounded = std::nearbyint(ratio);
  std::fesetround(saved);
  if (rounded < 0 || rounded > 255) return 0;
  return static_cast<std::uint8_t>(rounded);
}

void SplitCommandLine(std::string& Command, std::string& Params) {
  Command = Trim(Command);
  if (Command.empty()) return;

  std::size_t q1 = Command.find('"');
  std::size_t q2 = std::string::npos;
  if (q1 != std::string::npos) {
    Command.erase(q1, 1);
    q2 = Command.find('"', q1);
  }

  if (q1 != std::string::npos && q2 != std::string::npos) {
    Command.erase(q2, 1);
    if (q1 == 0) {
      // The character now at q2 (the blank after the closing quote) belongs
      // to neither part.
      Params = q2 + 1 < Command.size() ? Command.substr(q2 + 1) : std::string();
      Command.resize(q2);
      Params = Trim(Params);
      for (int i = 0; i < 2; ++i) {
        std::size_t q = Params.find('"');
        if (q == std::string::npos) break;
        Params.erase(q, 1);
      }
    } else {
      Params = Command.substr(q1);
      Command.resize(q1 - 1);
    }
  } else {
    Params.clear();
    const std::string orig = Command;
    struct Split {
      const char* delim;
      bool keepDelim;
    };
    static constexpr Split kSplits[] = {
        {" -", true}, {" /", true}, {" \\", true}, {",", false}, {" %", true},
    };
    bool first = true;
    for (const Split& s : kSplits) {
      if (!first && !Params.empty()) break;
      first = false;
      std::string left = Command, right;
      std::size_t at = Command.find(s.delim);
      if (at != std::string::npos) {
        left = Command.substr(0, at);
        right = Command.substr(at + std::strlen(s.delim));
        if (s.keepDelim) right = s.delim + right;
      }
      if (!ExtensionOf(Command).empty() && ExtensionOf(left).empty()) continue;
      Command = left;
      Params = right;
    }
    if (UpperCase(ExtensionOf(Command)) == ".DLL" && UpperCase(Command).find("RUNDLL") != std::string::npos) {
      std::size_t nameStart = FileNameStart(orig);
      std::string fileName = orig.substr(nameStart);
      std::string name = fileName;
      std::size_t blank = fileName.find(' ');
      if (blank != std::string::npos) {
        name = fileName.substr(0, blank);
        Params = fileName.substr(blank + 1);
      } else {
        Params.clear();
      }
      Command = orig.substr(0, nameStart) + name;
    }
  }
  Command = Trim(Command);
  Params = Trim(Params);
}

void URLToFileName(const std::string& URL, std::string& FileName) {
  std::string s = URL;
  for (char& c : s)
    if (c == '/') c = '\\';
  std::size_t cut = s.find_last_of("\\:");
  FileName = cut == std::string::npos ? s : s.substr(cut + 1);
}

void SplitVersion(const std::string& Version, std::string Parts[4]) {
  std::string rest = Version + ".";
  for (int i = 0; i < 4; ++i) {
    std::size_t dot = rest.find('.');
    if (dot == std::string::npos) {
      Parts[i] = "0";
      continue;
    }
    Parts[i] = rest.substr(0, dot);
    rest.erase(0, dot + 1);
  }
}

std::int8_t CompareVersions(const std::string& A, const std::string& B) {
  std::string pa[4], pb[4];
  SplitVersion(A, pa);
  SplitVersion(B, pb);
  for (int i = 0; i < 4; ++i) {
    int na = ToInt32Def(pa[i], -1);
    int nb = ToInt32Def(pb[i], -1);
    if (na == -1 || nb == -1) {
      const std::size_t n = std::min(A.size(), B.size());
      for (std::size_t k = 0; k < n; ++k) {
        auto ca = static_cast<unsigned char>(A[k]);
        auto cb = static_cast<unsigned char>(B[k]);
        if (ca != cb) return ca < cb ? -1 : 1;
      }
      if (A.size() == B.size()) return 0;
      return A.size() < B.size() ? -1 : 1;
    }
    if (na != nb) return na > nb ? 1 : -1;
  }
  return 0;
}

void InitSizedRecord(void* Rec, int Size) {
  if (Rec == nullptr || Size < static_cast<int>(sizeof(std::uint32_t))) return;
  std::memset(Rec, 0, static_cast<std::size_t>(Size));
  const auto size = static_cast<std::uint32_t>(Size);
  std::memcpy(Rec, &size, sizeof size);
}

// --- HTTP dates --------------------------------------------------------------

void ExtractToken(std::string& Text, const std::string& Delim, bool Remove, std::string& Token) {
  std::size_t at = Delim.empty() ? std::string::npos : Text.find(Delim);
  if (at == std::string::npos) {
    Token = Text;
    if (Remove) Text.clear();
    return;
  }
  Token = Text.substr(0, at);
  if (Remove) Text.erase(0, at + Delim.size());
}

int StringIndex(const std::string& Text, std::initializer_list<const char*> Items) {
  int i = 0;
  for (const char* item : Items) {
    if (Text == item) return i;
    ++i;
  }
  return -1;
}

int DayOfWeekIndex(const std::string& Text) {
  return StringIndex(UpperCase(Text), {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"}) + 1;
}

int MonthIndex(const std::string& Text) {
  return StringIndex(UpperCase(Text),
                     {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"}) +
         1;
}

double ParseZoneOffset(const std::string& Text) {
  std::string t = Trim(Text.substr(0, 5));
  if (t.empty() || (t[0] != '+' && t[0] != '-')) return 0;
  int hours = 0, minutes = 0;
  if (!ToInt32(t.substr(1, 2), hours) || !ToInt32(t.size() > 3 ? t.substr(3, 2) : std::string(), minutes))
    return 0;
  TDateTime offset = 0;
  if (!TryEncodeTime(hours, minutes, 0, 0, offset)) return 0;
  return t[0] == '-' ? -offset : offset;
}

double GetTimeZoneBias() {
  TIME_ZONE_INFORMATION tz{};
  const DWORD id = GetTimeZoneInformation(&tz);
  const long minutes = id == TIME_ZONE_ID_DAYLIGHT ? tz.Bias + tz.DaylightBias : tz.Bias + tz.StandardBias;
  return static_cast<double>(minutes) / 1440.0;
}

TDateTime UTCToLocalDateTime(TDateTime Value) { return Value - GetTimeZoneBias(); }

TDateTime ParseHTTPDate(const std::string& Text) {
  std::string s = Trim(Text);
  if (s.empty()) return 0;

  TDateTime date = 0;
  try {
    std::string token;
    if (DayOfWeekIndex(s.substr(0, 3)) != 0) {
      ExtractToken(s, " ", true, token);
      s = TrimLeft(s);
    }

    std::string sep = " ";
    const std::size_t dash = s.find('-');
    const std::size_t blank = s.find(' ');
    if (dash != std::string::npos && dash >= 1 && blank != std::string::npos && dash < blank) sep = "-";

    int day = 1, month = 0;
    auto readDay = [&] {
      ExtractToken(s, sep, true, token);
      day = ToInt32Def(token, 1);
      s = TrimLeft(s);
    };
    auto readMonth = [&] {
      ExtractToken(s, sep, true, token);
      month = MonthIndex(token);
      s = TrimLeft(s);
    };
    ExtractToken(s, sep, false, token);
    if (MonthIndex(token) != 0) {
      readMonth();
      readDay();
    } else {
      readDay();
      readMonth();
    }

    std::string field;
    ExtractToken(s, " ", true, field);
    int year = ToInt32Def(field, 1900);
    if (year == 1900) {
      // The asctime form puts the time before the year.
      year = ToInt32Def(s, 1900);
      s = field;
    }
    auto year16 = static_cast<std::uint16_t>(year);
    if (year16 < 80)
      year16 = static_cast<std::uint16_t>(year16 + 2000);
    else if (year16 < 100)
      year16 = static_cast<std::uint16_t>(year16 + 1900);

    date = EncodeDate(year16, month, day);

    if (s.find(':') != std::string::npos) {
      std::string t, part;
      ExtractToken(s, " ", true, t);
      ExtractToken(t, ":", true, part);
      const int h = ToInt32Def(part, 0);
      ExtractToken(t, ":", true, part);
      const int mi = ToInt32Def(part, 0);
      ExtractToken(t, " ", true, part);
      const int sec = ToInt32Def(part, 0);
      date += EncodeTime(h, mi, sec, 0);
    }
    s = TrimLeft(s);
  } catch (const Exception&) {
    date = 0;
  }

  const double offset = s.size() >= 5 ? ParseZoneOffset(s) : 0;
  return UTCToLocalDateTime(date - offset);
}

// --- Files -----------------------------------------------------------------

void DateTimeToFileTime(FILETIME& Time, TDateTime Value) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  if (!DecodeDate(Value, year, month, day)) return;
  DecodeTime(Value, hour, minute, second, msec);
  if (year < 1980 || year > 2107) return;
  const auto dosDate = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
  const auto dosTime = static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
  FILETIME local{};
  if (!DosDateTimeToFileTime(dosDate, dosTime, &local)) return;
  // The value is local time and file times are universal: without this the
  // file would carry the server's time shifted by the local zone.
  FILETIME universal{};
  if (!LocalFileTimeToFileTime(&local, &universal)) return;
  Time = universal;
}

bool SetFileTimes(const std::string& FileName, TDateTime Created, TDateTime Written, TDateTime Accessed) {
  HANDLE file = CreateFile(FileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME created{}, accessed{}, written{};
  GetFileTime(file, &created, &accessed, &written);
  if (Created != -1) DateTimeToFileTime(created, Created);
  if (Written != -1) DateTimeToFileTime(written, Written);
  if (Accessed != -1) DateTimeToFileTime(accessed, Accessed);
  const bool ok = SetFileTime(file, &created, &accessed, &written) != 0;
  CloseHandle(file);
  return ok;
}

std::int64_t GetFileSize64(const std::string& FileName) {
  // A folder is no file; this system would open it and report its entry size.
  if (FolderExists(FileName)) return -1;
  HANDLE file = CreateFile(FileName.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  CloseHandle(file);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

bool ApplyFileAttributes(const std::string& FileName, TauFileAttributes Attributes) {
  return SetFileAttributes(FileName.c_str(), FileAttributeBits(Attributes)) != 0;
}

bool FolderExists(const std::string& Name) {
  const DWORD attributes = GetFileAttributes(Name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void GetTempFolder(std::string& Folder) {
  Folder = GetTempPath();
  if (Folder.empty() || !FolderExists(Folder)) Folder = ExtractFilePath(GetModuleFileName());
}

bool SaveResourceToStream(const char* Name, const char* ResType, TStream* Stream) {
  if (Stream == nullptr || Name == nullptr || ResType == nullptr) return false;
  const auto data = FindResource(Name, ResType);
  if (data.empty() || data.size() > static_cast<std::size_t>(INT32_MAX)) return false;
  try {
    Stream->WriteBuffer(data.data(), static_cast<std::int32_t>(data.size()));
  } catch (const std::exception&) {
    // A stream that cannot grow fails with the library's own exceptions as
    // well as with EWriteError.
    return false;
  }
  return true;
}

// --- Signal wait -----------------------------------------------------------

void WaitForSignal(HANDLE& Signal, std::uint32_t Timeout, bool StopWhenTerminating) {
  const DWORD limit = Timeout == 0 ? INFINITE : Timeout;
  HANDLE event = CreateEvent(nullptr, /*manualReset=*/1, /*initialState=*/0, nullptr);
  Signal = event;
  if (event != nullptr) {
    try {
      for (;;) {
        if (StopWhenTerminating && ApplicationTerminated()) break;
        const DWORD woke = MsgWaitForMultipleObjects(1, &event, /*waitAll=*/0, limit, QS_ALLINPUT);
        if (woke != WAIT_OBJECT_0 + 1) break;
        ProcessMessages();
      }
    } catch (...) {
      CloseHandle(event);
      Signal = INVALID_HANDLE_VALUE;
      throw;
    }
    CloseHandle(event);
  }
  Signal = INVALID_HANDLE_VALUE;
}

void SetSignal(HANDLE& Signal) {
  if (Signal != INVALID_HANDLE_VALUE && Signal != nullptr) SetEvent(Signal);
}

// --- Online test, browser ----------------------------------------------------

namespace {

// The default value of Root\Path; false when the key does not open or the
// value is not text.
bool ReadDefaultValue(HKEY root, const std::string& path, std::string& value) {
  std::int32_t size = 0;
  if (RegQueryValue(root, path.c_str(), nullptr, &size) != ERROR_SUCCESS) return false;
  std::string buffer(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  size = static_cast<std::int32_t>(buffer.size());
  if (RegQueryValue(root, path.c_str(), buffer.data(), &size) != ERROR_SUCCESS) return false;
  buffer.resize(std::strlen(buffer.c_str()));
  value = buffer;
  return true;
}

bool KeyOpens(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKey(HKEY_CLASSES_ROOT, path.c_str(), &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace

bool HasNonLoopbackAddress() {
  const std::vector<std::string> addresses = LocalHostIPv4Addresses();
  if (addresses.empty()) return false;
  const std::string& last = addresses.back();
  return !last.empty() && last != "127.0.0.1";
}

bool IsOnline() {
  HKEY key = nullptr;
  if (RegOpenKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\RemoteAccess", &key) != ERROR_SUCCESS)
    return HasNonLoopbackAddress();
  unsigned char data[4] = {};
  DWORD size = sizeof data;
  const LSTATUS status = RegQueryValueEx(key, "Remote Connection", nullptr, data, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return HasNonLoopbackAddress();
  return data[0] == 1;
}

std::string GetAssociatedProgram(const std::string& Ext) {
  std::string result;
  if (Ext.empty() || Ext == ".") return result;

  std::string fileType;
  HKEY extKey = nullptr;
  const bool extOpened = RegOpenKey(HKEY_CLASSES_ROOT, Ext.c_str(), &extKey) == ERROR_SUCCESS;
  const bool read = ReadDefaultValue(extOpened ? extKey : HKEY_CLASSES_ROOT, "", fileType);
  if (extOpened) RegCloseKey(extKey);
  if (!read || fileType.empty()) return result;

  const std::string typeKey = "\\" + fileType;
  if (!KeyOpens(typeKey)) return result;

  const std::string openCommand = typeKey + "\\shell\\open\\command";
  if (KeyOpens(openCommand)) {
    if (!ReadDefaultValue(HKEY_CLASSES_ROOT, openCommand, result)) return {};
  } else {
    const std::string shellKey = typeKey + "\\shell\\";
    HKEY shell = nullptr;
    if (RegOpenKey(HKEY_CLASSES_ROOT, shellKey.c_str(), &shell) == ERROR_SUCCESS) {
      std::vector<std::string> verbs;
      char name[256];
      for (DWORD i = 0; RegEnumKey(shell, i, name, sizeof name) == ERROR_SUCCESS; ++i) verbs.emplace_back(name);
      RegCloseKey(shell);
      const std::string* verb = nullptr;
      for (const std::string& v : verbs)
        if (LowerCase(v).find("open") != std::string::npos) {
          verb = &v;
          break;
        }
      if (verb != nullptr) {
        const std::string command = shellKey + *verb + "\\command";
        if (KeyOpens(command)) ReadDefaultValue(HKEY_CLASSES_ROOT, command, result);
      } else {
        for (const std::string& v : verbs) {
          if (!result.empty()) break;
          const std::string command = shellKey + v + "\\command";
          if (KeyOpens(command) && !ReadDefaultValue(HKEY_CLASSES_ROOT, command, result)) break;
        }
      }
    }
  }
  std::string params;
  SplitCommandLine(result, params);
  return result;
}

void OpenURL(std::string URL, bool UseBrowserProgram) {
  if (URL.find("://") == std::string::npos) URL = "http://" + URL;
  if (UseBrowserProgram) {
    const std::string program = GetAssociatedProgram(".html");
    if (!program.empty()) {
      // One word, whatever the URL holds, so that it cannot add arguments to
      // the browser's command line.
      ShellExecute(nullptr, "open", program.c_str(), QuoteCommandLineWord(URL, QuoteMode::Always).c_str(), nullptr, SW_SHOWNORMAL);
      return;
    }
  }
  ShellExecute(nullptr, "open", URL.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CloseApplication() {
  if (platform::Application->MainForm() != nullptr) platform::Application->MainForm()->Close();
  platform::Application->Terminate();
}

}  // namespace qorv
