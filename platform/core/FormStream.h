// Form descriptions: reading and writing components as text.
//
// The text is the object/end form:
//
//   object SplashScreen: TSplashScreen
//     Left = 0
//     Caption = 'Qorv'#13#10'portal' + ' two'
//     OnCreate = FormCreate
//     Info.InfoFileURL = 'http://host/Version.inf'
//     ShowMessages = [mConnLost, mLostFile]
//     InfoFile.Files.Strings = (
//       'http://host/Qorv.exe')
//     LInfo = {
//       0345A1B2}
//     object Timer1: TTimer
//       Interval = 3000
//     end
//   end
//
// Values are integers (decimal, negative, or hexadecimal after "$"),
// floating numbers, quoted strings ('' is a quote, #nnn a byte, pieces joined
// directly or with "+", also across lines), identifiers (enumeration
// members, True and False, names of published methods for events), sets in
// brackets, lists in parentheses, and binary data as hexadecimal digits in
// braces (blanks and line breaks ignored). Property names may be dotted to
// reach into nested persistent objects; the last part may also name a
// pseudo-property that the object declares in DefineProperties.
//
// Reading (ReadComponentFromText) loads into an existing root component,
// which must be of the class the text names; its name is set from the text.
// Nested objects are owned by the root: one the root already owns under
// that name is reused (it must be of the named class or a descendant),
// others are created through the class registry. While reading, each
// component carries csLoading and, during its own properties, csReading.
// The setters run in text order. Once everything has been read, Loaded runs
// on each nested component in the order they appear in the text, then on
// the root. Any error stops the read with EReadError (EParserError for a
// malformed text, EClassNotFound for an unregistered class) whose message
// names the line, the component and the property; the components this read
// created are freed again, the others lose csLoading and csReading, and no
// Loaded runs. Errors raised by a setter keep their own class, with that
// context put in front of their message.
//
// Writing (WriteComponentToText) writes the root, its published properties
// that its stored rules allow and that differ from their declared defaults,
// its pseudo-properties, then its children (GetChildren) nested the same
// way. Events are written by the name of the bound published method; one
// bound in code (without a name) is not written.
//
// Both run on the calling thread and touch only the given tree, the class
// registry (read only) and the setters' own effects.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Classes.h"

namespace qorv::platform {

class TStream;

// One value of a form description, as read or as to be written.
struct FormValue {
  enum class Kind { Integer, Float, String, Identifier, Set, List, Binary };
  Kind kind = Kind::Integer;
  std::int64_t integer = 0;
  double number = 0;
  // String: the text; Identifier: the name; Binary: the bytes.
  std::string text;
  std::vector<std::string> members;  // Set
  std::vector<FormValue> items;      // List

  static FormValue Integer(std::int64_t v);
  static FormValue Float(double v);
  static FormValue String(std::string v);
  static FormValue Identifier(std::string v);
  static FormValue Set(std::vector<std::string> v);
  static FormValue List(std::vector<FormValue> v = {});
  static FormValue Binary(std::string bytes);
};

// What DefineProperties talks to. For the reader, a declared property whose
// name is the one being read gets its ReadData called; for the writer, one
// with HasData gets its WriteData written. A binary property's data is
// handed over as a memory stream positioned at its start.
class TFiler {
public:
  virtual ~TFiler() = default;
  virtual void DefineProperty(const std::string& Name, const std::function<void(const FormValue&)>& ReadData,
                              const std::function<FormValue()>& WriteData, bool HasData) = 0;
  virtual void DefineBinaryProperty(const std::string& Name, const std::function<void(TStream&)>& ReadData,
                                    const std::function<void(TStream&)>& WriteData, bool HasData) = 0;
};

void ReadComponentFromText(std::string_view text, TComponent& root);
std::string WriteComponentToText(TComponent& root);

// Where form descriptions come from when read by resource name: a function
// that gives the text of a named resource, or false when there is none.
// The program installs one over its embedded resources at start-up (main
// thread, before any form is created).
using FormResourceSource = std::function<bool(const std::string& name, std::string& text)>;
void SetFormResourceSource(FormResourceSource source);
// Reads the named description into Root. False, with Root untouched, when
// no source is installed or it has no such resource; the read's own errors
// raise as ReadComponentFromText does.
bool ReadComponentResource(const std::string& name, TComponent& root);

}  // namespace qorv::platform
