#include "platform/core/FormStream.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>

#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"

namespace qorv::platform {

FormValue FormValue::Integer(std::int64_t v) {
  FormValue f;
  f.kind = Kind::Integer;
  f.integer = v;
  return f;
}
FormValue FormValue::Float(double v) {
  FormValue f;
  f.kind = Kind::Float;
  f.number = v;
  return f;
}
FormValue FormValue::String(std::string v) {
  FormValue f;
  f.kind = Kind::String;
  f.text = std::move(v);
  return f;
}
FormValue FormValue::Identifier(std::string v) {
  FormValue f;
  f.kind = Kind::Identifier;
  f.text = std::move(v);
  return f;
}
FormValue FormValue::Set(std::vector<std::string> v) {
  FormValue f;
  f.kind = Kind::Set;
  f.members = std::move(v);
  return f;
}
FormValue FormValue::List(std::vector<FormValue> v) {
  FormValue f;
  f.kind = Kind::List;
  f.items = std::move(v);
  return f;
}
FormValue FormValue::Binary(std::string bytes) {
  FormValue f;
  f.kind = Kind::Binary;
  f.text = std::move(bytes);
  return f;
}

namespace {

struct FormProperty {
  std::string name;
  FormValue value;
  int line = 0;
};

struct FormObject {
  std::string name;
  std::string className;
  int line = 0;
  std::vector<FormProperty> properties;
  std::vector<FormObject> children;
};

// ---------------------------------------------------------------------------
// The parser turns the whole text into a tree before anything is set, so a
// malformed text changes no component.

class Parser {
public:
  explicit Parser(std::string_view text) : s_(text) {
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  }

  FormObject parseRoot() {
    skipBlanks();
    FormObject root = parseObject();
    skipBlanks();
    if (pos_ < s_.size()) fail("text after the final end");
    return root;
  }

private:
  [[noreturn]] void fail(const std::string& what) const {
    throw EParserError(Format("Line %d: %s", {line_, what}));
  }

  bool atEnd() const { return pos_ >= s_.size(); }
  char peek() const { return atEnd() ? '\0' : s_[pos_]; }

  void skipBlanks() {
    while (!atEnd() && static_cast<unsigned char>(s_[pos_]) <= ' ') {
      if (s_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }

  static bool identStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
  static bool identChar(char c) { return identStart(c) || (c >= '0' && c <= '9'); }

  std::string identifier(bool dotted) {
    if (!identStart(peek())) fail("identifier expected");
    std::size_t start = pos_;
    while (!atEnd() && (identChar(s_[pos_]) || (dotted && s_[pos_] == '.' && pos_ + 1 < s_.size() &&
                                                 identStart(s_[pos_ + 1]))))
      ++pos_;
    return std::string(s_.substr(start, pos_ - start));
  }

  void expect(char c, const char* what) {
    skipBlanks();
    if (peek() != c) fail(std::string(what) + " expected");
    ++pos_;
  }

  FormObject parseObject() {
    FormObject obj;
    obj.line = line_;
    std::string keyword = identStart(peek()) ? identifier(false) : std::string();
    if (!SameText(keyword, "object")) fail("object expected");
    skipBlanks();
    std::string first = identifier(false);
    skipBlanks();
    if (peek() == ':') {
      ++pos_;
      skipBlanks();
      obj.name = first;
      obj.className = identifier(false);
    } else {
      obj.className = first;
    }
    for (;;) {
      skipBlanks();
      if (atEnd()) fail("end expected");
      int line = line_;
      std::size_t save = pos_;
      std::string word = identifier(true);
      if (SameText(word, "end")) return obj;
      if (SameText(word, "object")) {
        pos_ = save;
        obj.children.push_back(parseObject());
        continue;
      }
      expect('=', "'='");
      skipBlanks();
      FormProperty p;
      p.name = word;
      p.line = line;
      p.value = parseValue();
      obj.properties.push_back(std::move(p));
    }
  }

  FormValue parseValue() {
    char c = peek();
    if (c == '\'' || c == '#') return FormValue::String(parseString());
    if (c == '-' || (c >= '0' && c <= '9')) return parseNumber();
    if (c == '$') {
      ++pos_;
      std::size_t start = pos_;
      while (!atEnd() && std::isxdigit(static_cast<unsigned char>(s_[pos_]))) ++pos_;
      std::uint64_t v = 0;
      auto r = std::from_chars(s_.data() + start, s_.data() + pos_, v, 16);
      if (start == pos_ || r.ec != std::errc()) fail("hexadecimal number expected");
      return FormValue::Integer(static_cast<std::int64_t>(v));
    }
    if (c == '[') {
      ++pos_;
      std::vector<std::string> members;
      skipBlanks();
      if (peek() == ']') {
        ++pos_;
        return FormValue::Set(members);
      }
      for (;;) {
        skipBlanks();
        members.push_back(identifier(false));
        skipBlanks();
        if (peek() == ',') {
          ++pos_;
          continue;
        }
        if (peek() == ']') {
          ++pos_;
          return FormValue::Set(members);
        }
        fail("',' or ']' expected");
      }
    }
    if (c == '(') {
      ++pos_;
      FormValue list = FormValue::List();
      for (;;) {
        skipBlanks();
        if (atEnd()) fail("')' expected");
        if (peek() == ')') {
          ++pos_;
          return list;
        }
        list.items.push_back(parseValue());
      }
    }
    if (c == '{') {
      ++pos_;
      std::string bytes;
      int high = -1;
      for (;;) {
        if (atEnd()) fail("'}' expected");
        char h = s_[pos_++];
        if (h == '}') break;
        if (h == '\n') ++line_;
        if (static_cast<unsigned char>(h) <= ' ') continue;
        int d = std::isdigit(static_cast<unsigned char>(h)) ? h - '0'
                : (h >= 'a' && h <= 'f')                     ? h - 'a' + 10
                : (h >= 'A' && h <= 'F')                     ? h - 'A' + 10
                                                             : -1;
        if (d < 0) fail("hexadecimal digit expected in binary data");
        if (high < 0) {
          high = d;
        } else {
          bytes += static_cast<char>(high * 16 + d);
          high = -1;
        }
      }
      if (high >= 0) fail("odd number of hexadecimal digits in binary data");
      return FormValue::Binary(std::move(bytes));
    }
    if (identStart(c)) return FormValue::Identifier(identifier(true));
    fail("property value expected");
  }

  FormValue parseNumber() {
    std::size_t start = pos_;
    if (peek() == '-') ++pos_;
    if (!std::isdigit(static_cast<unsigned char>(peek()))) fail("number expected");
    bool isFloat = false;
    while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
    if (peek() == '.' && pos_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_ + 1]))) {
      isFloat = true;
      ++pos_;
      while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
    }
    if (peek() == 'e' || peek() == 'E') {
      isFloat = true;
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (!std::isdigit(static_cast<unsigned char>(peek()))) fail("exponent expected");
      while (std::isdigit(static_cast<unsigned char>(peek()))) ++pos_;
    }
    const char* b = s_.data() + start;
    const char* e = s_.data() + pos_;
    if (isFloat) {
      double v = 0;
      auto r = std::from_chars(b, e, v);
      if (r.ec != std::errc() || r.ptr != e) fail("invalid floating number");
      return FormValue::Float(v);
    }
    std::int64_t v = 0;
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e) fail("integer out of range");
    return FormValue::Integer(v);
  }

  std::string parseString() {
    std::string out;
    for (;;) {
      char c = peek();
      if (c == '\'') {
        ++pos_;
        for (;;) {
          if (atEnd() || s_[pos_] == '\n' || s_[pos_] == '\r') fail("unterminated string");
          char ch = s_[pos_++];
          if (ch == '\'') {
            if (peek() == '\'') {
              out += '\'';
              ++pos_;
              continue;
            }
            break;
          }
          out += ch;
        }
      } else if (c == '#') {
        ++pos_;
        std::size_t start = pos_;
        int base = 10;
        if (peek() == '$') {
          base = 16;
          start = ++pos_;
        }
        while (!atEnd() && (base == 16 ? std::isxdigit(static_cast<unsigned char>(s_[pos_]))
                                       : std::isdigit(static_cast<unsigned char>(s_[pos_]))))
          ++pos_;
        unsigned code = 0;
        auto r = std::from_chars(s_.data() + start, s_.data() + pos_, code, base);
        if (start == pos_ || r.ec != std::errc() || code > 0x10FFFF) fail("character code expected after #");
        // Codes up to 255 are bytes; larger ones are characters, kept as UTF-8.
        if (code < 256) out += static_cast<char>(code);
        else out += WideToUTF8(code < 0x10000 ? std::u16string(1, static_cast<char16_t>(code))
                                              : std::u16string{static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)),
                                                               static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF))});
      } else {
        // A "+" joins the next piece, also on the next line.
        std::size_t save = pos_;
        int saveLine = line_;
        skipBlanks();
        if (peek() == '+') {
          ++pos_;
          skipBlanks();
          if (peek() != '\'' && peek() != '#') fail("string expected after '+'");
          continue;
        }
        pos_ = save;
        line_ = saveLine;
        return out;
      }
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

std::string displayName(const TComponent& c) { return c.Name().empty() ? c.ClassName() : c.Name(); }

class ReaderFiler : public TFiler {
public:
  ReaderFiler(const std::string& name, const FormValue& value) : name_(name), value_(value) {}
  bool handled() const { return handled_; }

  void DefineProperty(const std::string& Name, const std::function<void(const FormValue&)>& ReadData,
                      const std::function<FormValue()>&, bool) override {
    if (handled_ || !SameText(Name, name_)) return;
    handled_ = true;
    if (ReadData) ReadData(value_);
  }

  void DefineBinaryProperty(const std::string& Name, const std::function<void(TStream&)>& ReadData,
                            const std::function<void(TStream&)>&, bool) override {
    if (handled_ || !SameText(Name, name_)) return;
    handled_ = true;
    if (value_.kind != FormValue::Kind::Binary) throw EReadError("binary data in braces expected");
    TMemoryStream data;
    data.WriteBuffer(value_.text.data(), static_cast<std::int32_t>(value_.text.size()));
    data.SetPosition(0);
    if (ReadData) ReadData(data);
  }

private:
  const std::string& name_;
  const FormValue& value_;
  bool handled_ = false;
};

// ---------------------------------------------------------------------------
// Writing

std::string indent(int level) { return std::string(static_cast<std::size_t>(level) * 2, ' '); }

std::string quote(const std::string& s) {
  if (s.empty()) return "''";
  std::string out;
  bool inQuote = false;
  for (char ch : s) {
    auto u = static_cast<unsigned char>(ch);
    if (u < 32 || u == 127) {
      if (inQuote) {
        out += '\'';
        inQuote = false;
      }
      out += "#" + std::to_string(u);
    } else {
      if (!inQuote) {
        out += '\'';
        inQuote = true;
      }
      out += ch;
      if (ch == '\'') out += '\'';
    }
  }
  if (inQuote) out += '\'';
  return out;
}

std::string floatText(double v) {
  if (!std::isfinite(v)) v = 0;
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  std::string s(buf, r.ptr);
  // Keep it a floating number when read back.
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

std::string valueText(const FormValue& v, int level) {
  switch (v.kind) {
    case FormValue::Kind::Integer:
      return std::to_string(v.integer);
    case FormValue::Kind::Float:
      return floatText(v.number);
    case FormValue::Kind::String:
      return quote(v.text);
    case FormValue::Kind::Identifier:
      return v.text;
    case FormValue::Kind::Set: {
      std::string out = "[";
      for (std::size_t i = 0; i < v.members.size(); ++i) out += (i ? ", " : "") + v.members[i];
      return out + "]";
    }
    case FormValue::Kind::List: {
      if (v.items.empty()) return "()";
      std::string out = "(";
      for (const FormValue& item : v.items) out += "\n" + indent(level + 1) + valueText(item, level + 1);
      return out + ")";
    }
    case FormValue::Kind::Binary: {
      static const char hex[] = "0123456789ABCDEF";
      std::string out = "{";
      for (std::size_t i = 0; i < v.text.size(); ++i) {
        if (i % 32 == 0) out += "\n" + indent(level + 1);
        auto u = static_cast<unsigned char>(v.text[i]);
        out += hex[u >> 4];
        out += hex[u & 15];
      }
      return out + "}";
    }
  }
  return {};
}

class WriterFiler : public TFiler {
public:
  WriterFiler(std::string& out, const std::string& prefix, int level) : out_(out), prefix_(prefix), level_(level) {}

  void DefineProperty(const std::string& Name, const std::function<void(const FormValue&)>&,
                      const std::function<FormValue()>& WriteData, bool HasData) override {
    if (!HasData || !WriteData) return;
    line(Name, WriteData());
  }

  void DefineBinaryProperty(const std::string& Name, const std::function<void(TStream&)>&,
                            const std::function<void(TStream&)>& WriteData, bool HasData) override {
    if (!HasData || !WriteData) return;
    TMemoryStream data;
    WriteData(data);
    line(Name, FormValue::Binary(std::string(reinterpret_cast<const char*>(data.Memory()),
                                             static_cast<std::size_t>(data.Size()))));
  }

private:
  void line(const std::string& name, const FormValue& v) {
    out_ += indent(level_) + prefix_ + name + " = " + valueText(v, level_) + "\n";
  }
  std::string& out_;
  const std::string& prefix_;
  int level_;
};

}  // namespace

// ---------------------------------------------------------------------------
// The streamer reaches the component internals that loading and writing
// manage (state flags, DefineProperties).

class ComponentStreamer {
public:
  explicit ComponentStreamer(TComponent& root) : root_(root) {}

  void read(std::string_view text) {
    FormObject top = Parser(text).parseRoot();
    if (!SameText(top.className, root_.ClassName()))
      throw EReadError(Format("Line %d: the description is of a %s, not of a %s",
                              {top.line, top.className, root_.ClassName()}));
    try {
      touch(root_);
      if (!top.name.empty()) {
        try {
          root_.SetName(top.name);
        } catch (Exception& e) {
          e.SetMessage(Format("Line %d: %s", {top.line, e.Message()}));
          throw;
        }
      }
      readProperties(root_, top);
      root_.state_.Exclude(csReading);
      for (const FormObject& child : top.children) readChild(root_, child);
    } catch (...) {
      rollBack();
      throw;
    }
    for (TComponent* c : loaded_) c->Loaded();
    root_.Loaded();
  }

  std::string write() {
    std::string out;
    writeComponent(root_, 0, out);
    return out;
  }

private:
  void touch(TComponent& c) {
    c.state_.Include(csLoading);
    c.state_.Include(csReading);
    touched_.push_back(&c);
  }

  void rollBack() {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      touched_.erase(std::remove(touched_.begin(), touched_.end(), *it), touched_.end());
      (*it)->Free();
    }
    for (TComponent* c : touched_) {
      c->state_.Exclude(csLoading);
      c->state_.Exclude(csReading);
    }
  }

  void readChild(TComponent& enclosing, const FormObject& obj) {
    auto context = [&](Exception& e) { e.SetMessage(Format("Line %d: %s", {obj.line, e.Message()})); };
    TComponent* c = nullptr;
    try {
      c = root_.FindComponent(obj.name);
      // One name twice would merge two objects into one component.
      if (c && std::find(touched_.begin(), touched_.end(), c) != touched_.end())
        throw EReadError(Format("%s appears twice in the description", {obj.name}));
      if (c) {
        const TClassInfo* named = GetClass(obj.className);
        if (!SameText(c->ClassName(), obj.className) && !(named && c->InheritsFrom(*named)))
          throw EReadError(Format("%s is a %s, not a %s", {obj.name, c->ClassName(), obj.className}));
      } else {
        const TClassInfo& info = FindClass(obj.className);
        if (!info.Create) throw EReadError("Class " + info.Name + " cannot be created by a form description");
        c = info.Create(&root_);
        created_.push_back(c);
        c->SetName(obj.name);
      }
    } catch (Exception& e) {
      context(e);
      throw;
    }
    touch(*c);
    c->SetParentComponent(&enclosing);
    readProperties(*c, obj);
    c->state_.Exclude(csReading);
    loaded_.push_back(c);
    for (const FormObject& child : obj.children) readChild(*c, child);
  }

  void readProperties(TComponent& c, const FormObject& obj) {
    for (const FormProperty& p : obj.properties) {
      std::string where = Format("Line %d: Error reading %s.%s: ", {p.line, displayName(c), p.name});
      try {
        assign(c, p.name, p.value);
      } catch (Exception& e) {
        e.SetMessage(where + e.Message());
        throw;
      } catch (std::exception& e) {
        throw EReadError(where + e.what());
      }
    }
  }

  void assign(TPersistent& instance, const std::string& path, const FormValue& value) {
    TPersistent* target = &instance;
    std::size_t start = 0;
    std::size_t dot;
    while ((dot = path.find('.', start)) != std::string::npos) {
      std::string part = path.substr(start, dot - start);
      const PropInfo* p = target->ClassInfo().FindProperty(part);
      if (!p) throw EReadError("Property " + part + " does not exist");
      if (p->Kind != TPropKind::Class) throw EReadError("Property " + part + " is not an object");
      TPersistent* next = p->GetObject(*target);
      if (!next) throw EReadError("Property " + part + " holds no object");
      target = next;
      start = dot + 1;
    }
    std::string name = path.substr(start);

    ReaderFiler filer(name, value);
    target->DefineProperties(filer);
    if (filer.handled()) return;

    const PropInfo* p = target->ClassInfo().FindProperty(name);
    if (!p) throw EReadError("Property " + name + " does not exist");
    auto invalid = [&](const std::string& expected) -> void {
      throw EReadError("Invalid property value: " + expected + " expected");
    };
    using K = FormValue::Kind;
    switch (p->Kind) {
      case TPropKind::Integer:
        if (value.kind != K::Integer) invalid("an integer");
        p->SetOrd(*target, value.integer);
        break;
      case TPropKind::Boolean:
        if (value.kind != K::Identifier || !(SameText(value.text, "True") || SameText(value.text, "False")))
          invalid("True or False");
        p->SetOrd(*target, SameText(value.text, "True") ? 1 : 0);
        break;
      case TPropKind::Enumeration: {
        if (value.kind != K::Identifier) invalid("a member of " + p->Enum->Name);
        std::int64_t n = GetEnumValue(*p->Enum, value.text);
        if (n < 0) throw EReadError("Invalid property value: " + value.text + " is not a member of " + p->Enum->Name);
        p->SetOrd(*target, n);
        break;
      }
      case TPropKind::Set: {
        if (value.kind != K::Set) invalid("a set of " + p->Enum->Name);
        std::uint64_t bits = 0;
        for (const std::string& m : value.members) {
          std::int64_t n = GetEnumValue(*p->Enum, m);
          if (n < 0 || n > 63) throw EReadError("Invalid property value: " + m + " is not a member of " + p->Enum->Name);
          bits |= std::uint64_t{1} << n;
        }
        p->SetOrd(*target, static_cast<std::int64_t>(bits));
        break;
      }
      case TPropKind::Float:
        if (value.kind == K::Integer) p->SetFloat(*target, static_cast<double>(value.integer));
        else if (value.kind == K::Float) p->SetFloat(*target, value.number);
        else invalid("a number");
        break;
      case TPropKind::String:
        if (value.kind != K::String) invalid("a quoted string");
        p->SetStr(*target, value.text);
        break;
      case TPropKind::Class:
        throw EReadError("Property " + name + " is an object; its properties are written as " + name + ".<name>");
      case TPropKind::Event: {
        if (value.kind != K::Identifier) invalid("a method name");
        const MethodEntry* m = root_.ClassInfo().FindMethod(value.text);
        if (!m) throw EReadError("Method " + value.text + " not found in " + root_.ClassName());
        if (*m->Signature != *p->EventSignature)
          throw EReadError("Method " + value.text + " does not match the parameters of " + name);
        p->SetMethod(*target, &root_, m->Bind(root_), m->Name);
        break;
      }
    }
  }

  void writeComponent(TComponent& c, int level, std::string& out) {
    out += indent(level) + "object " + (c.Name().empty() ? c.ClassName() : c.Name() + ": " + c.ClassName()) + "\n";
    c.state_.Include(csWriting);
    try {
      writeProperties(c, "", level + 1, out);
    } catch (...) {
      c.state_.Exclude(csWriting);
      throw;
    }
    c.state_.Exclude(csWriting);
    c.GetChildren([&](TComponent* child) { writeComponent(*child, level + 1, out); }, &root_);
    out += indent(level) + "end\n";
  }

  void writeProperties(TPersistent& obj, const std::string& prefix, int level, std::string& out) {
    const TClassInfo& info = obj.ClassInfo();
    for (const PropInfo* p : info.Properties()) {
      // A class that publishes a name again replaces the ancestor's entry.
      if (info.FindProperty(p->Name) != p) continue;
      if (!p->Stored.IsStored(obj)) continue;
      FormValue v;
      switch (p->Kind) {
        case TPropKind::Integer:
        case TPropKind::Boolean:
        case TPropKind::Enumeration:
        case TPropKind::Set: {
          std::int64_t n = p->GetOrd(obj);
          if (p->DefaultOrd && *p->DefaultOrd == n) continue;
          if (p->Kind == TPropKind::Integer) {
            v = FormValue::Integer(n);
          } else if (p->Kind == TPropKind::Boolean) {
            v = FormValue::Identifier(n ? "True" : "False");
          } else if (p->Kind == TPropKind::Enumeration) {
            std::string member = GetEnumName(*p->Enum, n);
            if (member.empty())
              throw EWriteError(Format("%s has the value %d, which %s does not name", {p->Name, n, p->Enum->Name}));
            v = FormValue::Identifier(member);
          } else {
            std::vector<std::string> members;
            auto bits = static_cast<std::uint64_t>(n);
            for (unsigned i = 0; i < 64; ++i) {
              if (!(bits & (std::uint64_t{1} << i))) continue;
              std::string member = GetEnumName(*p->Enum, i);
              if (member.empty())
                throw EWriteError(Format("%s holds the element %d, which %s does not name", {p->Name, i, p->Enum->Name}));
              members.push_back(member);
            }
            v = FormValue::Set(std::move(members));
          }
          break;
        }
        case TPropKind::Float: {
          double d = p->GetFloat(obj);
          if (p->DefaultFloat && *p->DefaultFloat == d) continue;
          v = FormValue::Float(d);
          break;
        }
        case TPropKind::String: {
          std::string s = p->GetStr(obj);
          if (p->DefaultStr && *p->DefaultStr == s) continue;
          v = FormValue::String(std::move(s));
          break;
        }
        case TPropKind::Class: {
          TPersistent* nested = p->GetObject(obj);
          // References to other components are not written.
          if (nested && !dynamic_cast<TComponent*>(nested)) writeProperties(*nested, prefix + p->Name + ".", level, out);
          continue;
        }
        case TPropKind::Event: {
          std::string method = p->GetMethodName(obj);
          if (method.empty()) continue;
          v = FormValue::Identifier(method);
          break;
        }
      }
      out += indent(level) + prefix + p->Name + " = " + valueText(v, level) + "\n";
    }
    WriterFiler filer(out, prefix, level);
    obj.DefineProperties(filer);
  }

  TComponent& root_;
  std::vector<TComponent*> created_;
  std::vector<TComponent*> touched_;
  std::vector<TComponent*> loaded_;
};

void ReadComponentFromText(std::string_view text, TComponent& root) { ComponentStreamer(root).read(text); }

std::string WriteComponentToText(TComponent& root) { return ComponentStreamer(root).write(); }

namespace {
std::mutex sourceLock;
FormResourceSource& source() {
  static FormResourceSource s;
  return s;
}
}  // namespace

void SetFormResourceSource(FormResourceSource s) {
  std::lock_guard<std::mutex> guard(sourceLock);
  source() = std::move(s);
}

bool ReadComponentResource(const std::string& name, TComponent& root) {
  FormResourceSource s;
  {
    std::lock_guard<std::mutex> guard(sourceLock);
    s = source();
  }
  std::string text;
  if (!s || !s(name, text)) return false;
  ReadComponentFromText(text, root);
  return true;
}

}  // namespace qorv::platform
