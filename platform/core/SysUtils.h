// String, number and file-name routines of the class library.
//
// Strings are byte strings (std::string), UTF-8 on this system; the case
// routines and comparisons touch the ASCII letters only. Every routine is
// free of shared mutable state and may run on any thread. Conversions that
// cannot succeed raise EConvertError (StrToInt, Format); the Try and Def
// variants report through their result instead.
//
// Format reads the decimal and thousand separators from the user's numeric
// locale (LC_ALL, LC_NUMERIC, LANG, in that order of precedence) once, on
// first use, through a locale object of its own; the process's global C
// locale, which toolkits change at start-up, plays no part.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/core/Exceptions.h"

namespace qorv::platform {

// One argument of Format. Built implicitly from the usual C++ values; a
// FormatArg only lives as long as the call it is written in.
class FormatArg {
public:
  enum class Kind { Signed, Unsigned, Float, Text };
  FormatArg(int v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(long long v) : value_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned v) : value_(static_cast<std::uint64_t>(v)) {}
  FormatArg(unsigned long v) : value_(static_cast<std::uint64_t>(v)) {}
  FormatArg(unsigned long long v) : value_(static_cast<std::uint64_t>(v)) {}
  FormatArg(double v) : value_(v) {}
  FormatArg(float v) : value_(static_cast<double>(v)) {}
  FormatArg(const char* v) : value_(std::string_view(v ? v : "")) {}
  FormatArg(std::string_view v) : value_(v) {}
  FormatArg(const std::string& v) : value_(std::string_view(v)) {}

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  std::int64_t asSigned() const { return std::get<0>(value_); }
  std::uint64_t asUnsigned() const { return std::get<1>(value_); }
  double asFloat() const { return std::get<2>(value_); }
  std::string_view asText() const { return std::get<3>(value_); }

private:
  std::variant<std::int64_t, std::uint64_t, double, std::string_view> value_;
};

// Separators that Format uses for %f, %e, %g and %n. Multi-byte separators
// (some locales use them) are kept whole.
struct TFormatSettings {
  std::string DecimalSeparator = ".";
  std::string ThousandSeparator = ",";
};

// The separators of the user's numeric locale, read once per process.
const TFormatSettings& DefaultFormatSettings();
// The separators of the named locale ("de_DE.UTF-8"); the "C" locale's when
// that locale is not installed, in which case Found is false.
enum class LocaleLookup { Found, NotFound };
TFormatSettings FormatSettingsForLocale(const std::string& localeName, LocaleLookup* result = nullptr);

// Format(Fmt, Args): the class library's formatting. Specifiers are
// "%" [index ":"] ["-"] [width] ["." precision] type, width and precision
// may be "*" (taken from the next argument, which must be an integer), and
// the types are:
//   d  signed decimal; precision is the minimum number of digits (zeros)
//   u  unsigned decimal (a negative signed argument wraps to 32 or 64 bits)
//   x  upper-case hexadecimal; precision as for d
//   f  fixed point, precision digits after the separator (default 2)
//   e  scientific, precision significant digits (default 15), "E+000"
//   g  the shorter of fixed and scientific, precision significant digits
//   n  as f, with thousand separators
//   s  text; precision is the maximum number of bytes taken
//   %  a literal "%" (also written "%%")
// d, u and x take integer arguments, f, e, g and n floating ones, s text:
// any other pairing, an unknown type or a missing argument raises
// EConvertError ("Format '%s' invalid or incompatible with argument",
// "No argument for format '%s'"). Floating values are rounded to the
// nearest representable decimal (ties of exactly representable halves go
// to the even digit).
std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args);
std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args,
                   const TFormatSettings& settings);
// For callers that pass on an argument list they were given.
std::string Format(std::string_view fmt, std::span<const FormatArg> args);
std::string Format(std::string_view fmt, std::span<const FormatArg> args, const TFormatSettings& settings);

std::string IntToStr(std::int64_t value);
// Upper-case hexadecimal with at least Digits digits.
std::string IntToHex(std::uint64_t value, int digits);

// Integer text, as the class library reads it: optional leading blanks
// (space or tab), an optional "+" or "-", then decimal digits, or
// hexadecimal digits after "$", "0x", "0X", "x" or "X". Nothing may follow
// the digits, not even a blank. Decimal values must lie in the type's
// range; hexadecimal ones may use all 32 (64) bits and then wrap to a
// negative value, as "$FFFFFFFF" is -1. The error message is
// "'<text>' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);
bool TryStrToInt(std::string_view text, std::int32_t& value);
bool TryStrToInt64(std::string_view text, std::int64_t& value);

// Blanks here are all bytes up to and including ' ' (controls too).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
// <0, 0 or >0 as a sorts before, equal to, or after b.
int CompareText(std::string_view a, std::string_view b);
int CompareStr(std::string_view a, std::string_view b);

// 1-based position of Sub in S; 0 when absent or when Sub is empty.
std::size_t Pos(std::string_view sub, std::string_view s);
// Up to Count bytes of S from the 1-based Index. An Index below 1 counts as
// 1; an Index past the end or a negative Count gives an empty text.
std::string Copy(std::string_view s, std::int64_t index, std::int64_t count);

inline constexpr char PathDelim = '/';
// Everything up to and including the last "/" (empty when there is none).
std::string ExtractFilePath(std::string_view fileName);
std::string ExtractFileName(std::string_view fileName);
// From the last "." of the name part, the dot included; empty when none.
std::string ExtractFileExt(std::string_view fileName);
std::string ChangeFileExt(std::string_view fileName, std::string_view extension);
// An absolute path: relative names are taken from the current folder, and
// "." and ".." segments and doubled "/" are resolved in the text (links are
// not followed).
std::string ExpandFileName(std::string_view fileName);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);

// The system's text for an errno value.
std::string SysErrorMessage(int errorCode);

// Wide strings: UTF-16, used where the browser wants one. Malformed input
// becomes U+FFFD, one per bad sequence.
using WideString = std::u16string;
WideString UTF8ToWide(std::string_view text);
std::string WideToUTF8(std::u16string_view text);

}  // namespace qorv::platform
