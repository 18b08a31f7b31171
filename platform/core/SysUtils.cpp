#include "platform/core/SysUtils.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <langinfo.h>
#include <limits>
#include <locale.h>
#include <vector>

namespace qorv::platform {

namespace {

TFormatSettings settingsFrom(locale_t loc) {
  TFormatSettings s;
  const char* dec = nl_langinfo_l(RADIXCHAR, loc);
  const char* thou = nl_langinfo_l(THOUSEP, loc);
  if (dec && *dec) s.DecimalSeparator = dec;
  // Locales without grouping give an empty separator; keep it empty then.
  s.ThousandSeparator = thou ? thou : "";
  return s;
}

TFormatSettings lookUp(const char* name, LocaleLookup* result) {
  locale_t loc = newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) {
    if (result) *result = LocaleLookup::NotFound;
    return TFormatSettings{};
  }
  TFormatSettings s = settingsFrom(loc);
  freelocale(loc);
  if (result) *result = LocaleLookup::Found;
  return s;
}

[[noreturn]] void invalidFormat(std::string_view fmt) {
  throw EConvertError("Format '" + std::string(fmt) + "' invalid or incompatible with argument");
}

[[noreturn]] void missingArgument(std::string_view fmt) {
  throw EConvertError("No argument for format '" + std::string(fmt) + "'");
}

std::string digitsOf(std::uint64_t v, int base) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v, base);
  std::string s(buf, r.ptr);
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string padDigits(std::string digits, int precision) {
  if (precision > 0 && static_cast<int>(digits.size()) < precision)
    digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
  return digits;
}

std::string fixed(double v, int precision, const TFormatSettings& fs, bool grouped) {
  if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v < 0 ? "-INF" : "INF");
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
  if (r.ec != std::errc()) return "0";
  std::string s(buf, r.ptr);
  bool negative = !s.empty() && s[0] == '-';
  if (negative) s.erase(0, 1);
  std::string intPart = s.substr(0, s.find('.'));
  std::string fracPart = s.find('.') == std::string::npos ? "" : s.substr(s.find('.') + 1);
  if (grouped && !fs.ThousandSeparator.empty()) {
    std::string g;
    for (std::size_t i = 0; i < intPart.size(); ++i) {
      if (i > 0 && (intPart.size() - i) % 3 == 0) g += fs.ThousandSeparator;
      g += intPart[i];
    }
    intPart = g;
  }
  // A value that rounds to zero shows no sign.
  bool allZero = s.find_first_not_of("0.") == std::string::npos;
  std::string out = (negative && !allZero) ? "-" : "";
  out += intPart;
  if (!fracPart.empty()) out += fs.DecimalSeparator + fracPart;
  return out;
}

// Mantissa with Digits significant digits and the exponent, "E+003" style.
std::string scientific(double v, int digits, const TFormatSettings& fs) {
  if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v < 0 ? "-INF" : "INF");
  if (digits < 1) digits = 1;
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, digits - 1);
  std::string s(buf, r.ptr);
  auto e = s.find('e');
  std::string mant = s.substr(0, e);
  int exp = std::atoi(s.c_str() + e + 1);
  auto dot = mant.find('.');
  if (dot != std::string::npos) mant.replace(dot, 1, fs.DecimalSeparator);
  std::string ex = std::to_string(exp < 0 ? -exp : exp);
  ex.insert(0, ex.size() < 3 ? 3 - ex.size() : 0, '0');
  return mant + "E" + (exp < 0 ? "-" : "+") + ex;
}

std::string general(double v, int digits, const TFormatSettings& fs) {
  if (!std::isfinite(v)) return std::isnan(v) ? "NAN" : (v < 0 ? "-INF" : "INF");
  if (digits < 1 || digits > 15) digits = 15;
  if (v == 0) return "0";
  int exp = static_cast<int>(std::floor(std::log10(std::fabs(v))));
  if (exp < -5 || exp >= digits) {
    std::string s = scientific(v, digits, fs);
    // Trailing zeros of the mantissa are dropped.
    auto e = s.find('E');
    std::string mant = s.substr(0, e);
    if (mant.find(fs.DecimalSeparator) != std::string::npos) {
      while (!mant.empty() && mant.back() == '0') mant.pop_back();
      if (mant.size() >= fs.DecimalSeparator.size() &&
          mant.compare(mant.size() - fs.DecimalSeparator.size(), std::string::npos, fs.DecimalSeparator) == 0)
        mant.erase(mant.size() - fs.DecimalSeparator.size());
    }
    return mant + s.substr(e);
  }
  std::string s = fixed(v, std::max(0, digits - 1 - exp), fs, false);
  if (s.find(fs.DecimalSeparator) != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (s.size() >= fs.DecimalSeparator.size() &&
        s.compare(s.size() - fs.DecimalSeparator.size(), std::string::npos, fs.DecimalSeparator) == 0)
      s.erase(s.size() - fs.DecimalSeparator.size());
  }
  return s;
}

bool parseInt(std::string_view text, bool wide, std::int64_t& out) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  } else if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  }
  if (i == text.size()) return false;
  std::uint64_t v = 0;
  const std::uint64_t limitHex = wide ? std::numeric_limits<std::uint64_t>::max() : 0xFFFFFFFFull;
  const std::uint64_t limitDec = negative ? (wide ? 9223372036854775808ull : 2147483648ull)
                                          : (wide ? 9223372036854775807ull : 2147483647ull);
  for (; i < text.size(); ++i) {
    char c = text[i];
    unsigned d;
    if (c >= '0' && c <= '9') d = static_cast<unsigned>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') d = static_cast<unsigned>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') d = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    unsigned base = hex ? 16 : 10;
    std::uint64_t limit = hex ? limitHex : limitDec;
    if (v > (limit - d) / base) return false;
    v = v * base + d;
  }
  std::int64_t signedValue;
  if (hex && !wide) signedValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  else signedValue = static_cast<std::int64_t>(v);
  if (negative) signedValue = static_cast<std::int64_t>(0ull - static_cast<std::uint64_t>(signedValue));
  if (!wide && hex && negative) signedValue = static_cast<std::int32_t>(static_cast<std::uint32_t>(signedValue));
  out = signedValue;
  return true;
}

}  // namespace

const TFormatSettings& DefaultFormatSettings() {
  // "" makes the C library resolve LC_ALL, LC_NUMERIC and LANG itself.
  static const TFormatSettings settings = lookUp("", nullptr);
  return settings;
}

TFormatSettings FormatSettingsForLocale(const std::string& localeName, LocaleLookup* result) {
  return lookUp(localeName.c_str(), result);
}

std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args) {
  return Format(fmt, std::span<const FormatArg>(args.begin(), args.size()), DefaultFormatSettings());
}

std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args, const TFormatSettings& fs) {
  return Format(fmt, std::span<const FormatArg>(args.begin(), args.size()), fs);
}

std::string Format(std::string_view fmt, std::span<const FormatArg> args) {
  return Format(fmt, args, DefaultFormatSettings());
}

std::string Format(std::string_view fmt, std::span<const FormatArg> argList, const TFormatSettings& fs) {
  std::vector<const FormatArg*> args;
  for (const FormatArg& a : argList) args.push_back(&a);
  std::string out;
  std::size_t next = 0;
  std::size_t i = 0;
  auto takeArg = [&]() -> const FormatArg& {
    if (next >= args.size()) missingArgument(fmt);
    return *args[next++];
  };
  auto takeCount = [&]() -> int {
    const FormatArg& a = takeArg();
    if (a.kind() == FormatArg::Kind::Signed) return static_cast<int>(a.asSigned());
    if (a.kind() == FormatArg::Kind::Unsigned) return static_cast<int>(a.asUnsigned());
    invalidFormat(fmt);
  };
  auto readNumber = [&](int& value) {
    bool any = false;
    value = 0;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
      value = value * 10 + (fmt[i++] - '0');
      if (value > 100000) invalidFormat(fmt);
      any = true;
    }
    return any;
  };
  while (i < fmt.size()) {
    char c = fmt[i++];
    if (c != '%') {
      out += c;
      continue;
    }
    if (i >= fmt.size()) invalidFormat(fmt);
    if (fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // An index ("%1:s") sets where the next argument is taken from.
    {
      std::size_t save = i;
      int index;
      if (fmt[i] == '*') {
        // Left for the width below.
      } else if (readNumber(index) && i < fmt.size() && fmt[i] == ':') {
        next = static_cast<std::size_t>(index);
        ++i;
      } else {
        i = save;
      }
    }
    bool left = false;
    if (i < fmt.size() && fmt[i] == '-') {
      left = true;
      ++i;
    }
    int width = 0;
    if (i < fmt.size() && fmt[i] == '*') {
      width = takeCount();
      ++i;
    } else {
      readNumber(width);
    }
    int precision = -1;
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      if (i < fmt.size() && fmt[i] == '*') {
        precision = takeCount();
        ++i;
      } else {
        readNumber(precision);
      }
    }
    if (i >= fmt.size()) invalidFormat(fmt);
    char type = fmt[i++];
    if (type >= 'A' && type <= 'Z') type = static_cast<char>(type - 'A' + 'a');
    std::string piece;
    switch (type) {
      case 'd':
      case 'u':
      case 'x': {
        const FormatArg& a = takeArg();
        std::uint64_t magnitude;
        bool negative = false;
        if (a.kind() == FormatArg::Kind::Signed) {
          std::int64_t v = a.asSigned();
          if (type == 'd') {
            negative = v < 0;
            magnitude = negative ? 0ull - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
          } else if (v >= std::numeric_limits<std::int32_t>::min() && v < 0) {
            // A negative 32-bit value reads as its unsigned 32-bit pattern.
            magnitude = static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
          } else {
            magnitude = static_cast<std::uint64_t>(v);
          }
        } else if (a.kind() == FormatArg::Kind::Unsigned) {
          magnitude = a.asUnsigned();
        } else {
          invalidFormat(fmt);
        }
        piece = padDigits(digitsOf(magnitude, type == 'x' ? 16 : 10), precision);
        if (negative) piece.insert(0, "-");
        break;
      }
      case 'f':
      case 'e':
      case 'g':
      case 'n': {
        const FormatArg& a = takeArg();
        if (a.kind() != FormatArg::Kind::Float) invalidFormat(fmt);
        double v = a.asFloat();
        if (type == 'f') piece = fixed(v, precision < 0 ? 2 : std::min(precision, 18), fs, false);
        else if (type == 'n') piece = fixed(v, precision < 0 ? 2 : std::min(precision, 18), fs, true);
        else if (type == 'e') piece = scientific(v, precision < 0 ? 15 : std::min(precision, 18), fs);
        else piece = general(v, precision < 0 ? 15 : precision, fs);
        break;
      }
      case 's': {
        const FormatArg& a = takeArg();
        if (a.kind() != FormatArg::Kind::Text) invalidFormat(fmt);
        std::string_view t = a.asText();
        if (precision >= 0 && t.size() > static_cast<std::size_t>(precision)) t = t.substr(0, static_cast<std::size_t>(precision));
        piece = std::string(t);
        break;
      }
      default:
        invalidFormat(fmt);
    }
    if (width > 0 && piece.size() < static_cast<std::size_t>(width)) {
      std::string pad(static_cast<std::size_t>(width) - piece.size(), ' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  return out;
}

std::string IntToStr(std::int64_t value) { return std::to_string(value); }

std::string IntToHex(std::uint64_t value, int digits) { return padDigits(digitsOf(value, 16), digits); }

bool TryStrToInt(std::string_view text, std::int32_t& value) {
  std::int64_t v;
  if (!parseInt(text, false, v)) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool TryStrToInt64(std::string_view text, std::int64_t& value) { return parseInt(text, true, value); }

std::int32_t StrToInt(std::string_view text) {
  std::int32_t v;
  if (!TryStrToInt(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

std::int64_t StrToInt64(std::string_view text) {
  std::int64_t v;
  if (!TryStrToInt64(text, v)) throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
  return v;
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback) {
  std::int32_t v;
  return TryStrToInt(text, v) ? v : fallback;
}

namespace {
bool blank(char c) { return static_cast<unsigned char>(c) <= ' '; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

std::string TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && blank(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && blank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = upper(c);
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = lower(c);
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(lower(a[i]));
    auto y = static_cast<unsigned char>(lower(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

int CompareStr(std::string_view a, std::string_view b) {
  int r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

std::size_t Pos(std::string_view sub, std::string_view s) {
  if (sub.empty()) return 0;
  auto p = s.find(sub);
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string Copy(std::string_view s, std::int64_t index, std::int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || static_cast<std::uint64_t>(index) > s.size()) return {};
  return std::string(s.substr(static_cast<std::size_t>(index - 1), static_cast<std::size_t>(count)));
}

std::string ExtractFilePath(std::string_view fileName) {
  auto p = fileName.rfind('/');
  return p == std::string_view::npos ? std::string() : std::string(fileName.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view fileName) {
  auto p = fileName.rfind('/');
  return std::string(p == std::string_view::npos ? fileName : fileName.substr(p + 1));
}

std::string ExtractFileExt(std::string_view fileName) {
  std::string name = ExtractFileName(fileName);
  auto p = name.rfind('.');
  return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ChangeFileExt(std::string_view fileName, std::string_view extension) {
  std::string ext = ExtractFileExt(fileName);
  return std::string(fileName.substr(0, fileName.size() - ext.size())) + std::string(extension);
}

std::string ExpandFileName(std::string_view fileName) {
  std::string path(fileName);
  if (path.empty() || path[0] != '/') {
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    path = IncludeTrailingPathDelimiter(cwd) + path;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string seg = path.substr(start, end - start);
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    start = end + 1;
  }
  std::string out;
  for (const auto& p : parts) out += "/" + p;
  if (out.empty()) out = "/";
  // A trailing "/" names a folder; keep it.
  if (path.size() > 1 && path.back() == '/' && out != "/") out += "/";
  return out;
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
  std::string r(path);
  if (r.empty() || r.back() != '/') r += '/';
  return r;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
  std::string r(path);
  if (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

std::string SysErrorMessage(int errorCode) {
  char buf[256];
  // The GNU form returns a pointer that may or may not be buf.
  const char* text = strerror_r(errorCode, buf, sizeof buf);
  return text ? text : "";
}

WideString UTF8ToWide(std::string_view s) {
  WideString out;
  std::size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t len;
    if (b < 0x80) { cp = b; len = 1; }
    else if (b >= 0xC2 && b < 0xE0) { cp = b & 0x1Fu; len = 2; }
    else if (b >= 0xE0 && b < 0xF0) { cp = b & 0x0Fu; len = 3; }
    else if (b >= 0xF0 && b < 0xF5) { cp = b & 0x07u; len = 4; }
    else { out += u'\uFFFD'; ++i; continue; }
    bool ok = i + len <= s.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      auto cb = static_cast<unsigned char>(s[i + k]);
      if ((cb & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cb & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are malformed.
    if (ok && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
               (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) { out += u'\uFFFD'; ++i; continue; }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

std::string WideToUTF8(std::u16string_view w) {
  std::string out;
  for (std::size_t i = 0; i < w.size(); ++i) {
    std::uint32_t cp = w[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) out += static_cast<char>(cp);
    else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace qorv::platform
