#include "platform/web/OleDispatch.h"

#include <cstdint>
#include <cstdio>

namespace qorv::platform {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Decodes one UTF-8 sequence at s[i]; a malformed one yields U+FFFD and
// consumes one byte.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra = 0;
  char32_t cp = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
    minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
    minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
    minimum = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k <= extra; ++k) {
    unsigned char b = byte(i + static_cast<std::size_t>(k));
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

void appendUnit(std::string& out, unsigned unit) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\u%04x", unit & 0xFFFFu);
  out += buf;
}

}  // namespace

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t cp = nextCodePoint(text, i);
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0x10000)) {
          appendUnit(out, static_cast<unsigned>(cp));
        } else if (cp >= 0x10000) {
          char32_t v = cp - 0x10000;
          appendUnit(out, static_cast<unsigned>(0xD800 + (v >> 10)));
          appendUnit(out, static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
        } else {
          out += static_cast<char>(cp);
        }
    }
  }
  out += '"';
  return out;
}

std::string BuildAssignmentScript(const std::vector<std::string>& path, const std::string& name,
                                  const std::string& value) {
  // The names travel as data (a JSON array) and are only ever used as
  // computed property keys, so no name can change what the script does.
  std::string steps = "[";
  for (std::size_t k = 0; k < path.size(); ++k) {
    if (k) steps += ",";
    steps += JsonQuote(path[k]);
  }
  steps += "]";
  std::string s;
  s += "(function () {\n";
  s += "  \"use strict\";\n";
  s += "  var steps = " + steps + ";\n";
  s += "  var name = " + JsonQuote(name) + ";\n";
  s += "  var value = " + JsonQuote(value) + ";\n";
  s += "  var isObject = function (o) { return o !== null && (typeof o === \"object\" || typeof o === \"function\"); };\n";
  s += "  try {\n";
  s += "    var o = document;\n";
  s += "    var where = \"Document\";\n";
  s += "    if (!isObject(o)) return \"the page has no document\";\n";
  s += "    for (var i = 0; i < steps.length; i++) {\n";
  s += "      o = o[steps[i]];\n";
  s += "      where += \".\" + steps[i];\n";
  s += "      if (!isObject(o)) return \"no object at \" + where;\n";
  s += "    }\n";
  s += "    o[name] = value;\n";
  s += "    return \"\";\n";
  s += "  } catch (e) {\n";
  s += "    return \"assignment refused: \" + String(e && e.message ? e.message : e);\n";
  s += "  }\n";
  s += "})()";
  return s;
}

OleVariant OleVariant::BrowserObject(std::weak_ptr<DispatchTarget> target) {
  OleVariant v;
  v.target_ = std::move(target);
  v.level_ = Level::Browser;
  return v;
}

OleVariant OleVariant::Get(const std::string& name) const {
  if (level_ == Level::Unassigned) throw EOleError("Variant does not reference an automation object");
  OleVariant v = *this;
  if (level_ == Level::Browser) {
    if (!equalsNoCase(name, "Document")) throw EOleError("Unknown name: " + name);
    v.level_ = Level::Page;
    return v;
  }
  v.path_.push_back(name);
  return v;
}

void OleVariant::Set(const std::string& name, const std::string& value) const {
  if (level_ == Level::Unassigned) throw EOleError("Variant does not reference an automation object");
  if (level_ == Level::Browser) throw EOleError("Unknown name: " + name);
  std::shared_ptr<DispatchTarget> target = target_.lock();
  if (!target) throw EOleError("The browser object is gone");
  std::string failure = target->AssignPageProperty(path_, name, value);
  if (!failure.empty()) throw EOleError(failure);
}

}  // namespace qorv::platform
