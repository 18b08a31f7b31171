#include "platform/core/Strings.h"

#include "platform/core/FormStream.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"

namespace qorv::platform {

const TClassInfo& TStrings::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TStrings>("TStrings", TPersistent::StaticClassInfo()).Build();
  return info;
}

void TStrings::Error(int Index) const { throw EListError(Format("List index out of bounds (%d)", {Index})); }

int TStrings::Add(const std::string& S) {
  int index = Count();
  Insert(index, S);
  return index;
}

void TStrings::AddStrings(const TStrings& Strings) {
  // Read all first: the source may be this list.
  std::vector<std::string> lines;
  for (int i = 0; i < Strings.Count(); ++i) lines.push_back(Strings.Get(i));
  for (const auto& l : lines) Add(l);
}

int TStrings::IndexOf(const std::string& S) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Get(i), S)) return i;
  return -1;
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const std::string& Value) {
  Clear();
  std::size_t i = 0;
  while (i < Value.size()) {
    std::size_t start = i;
    while (i < Value.size() && Value[i] != '\r' && Value[i] != '\n') ++i;
    Add(Value.substr(start, i - start));
    if (i < Value.size() && Value[i] == '\r') ++i;
    if (i < Value.size() && Value[i] == '\n') ++i;
  }
}

std::string TStrings::Names(int Index) const {
  std::string s = Get(Index);
  auto p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::ValueFromIndex(int Index) const {
  std::string s = Get(Index);
  auto p = s.find('=');
  return p == std::string::npos ? std::string() : s.substr(p + 1);
}

int TStrings::IndexOfName(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string s = Get(i);
    auto p = s.find('=');
    if (p != std::string::npos && SameText(s.substr(0, p), Name)) return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string& Name) const {
  int i = IndexOfName(Name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(const std::string& Name, const std::string& Value) {
  int i = IndexOfName(Name);
  if (Value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  if (i < 0) Add(Name + "=" + Value);
  else Put(i, Name + "=" + Value);
}

bool TStrings::Equals(const TStrings& Strings) const {
  if (Count() != Strings.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != Strings.Get(i)) return false;
  return true;
}

void TStrings::LoadFromStream(TStream& Stream) {
  std::int64_t size = Stream.Size() - Stream.Position();
  std::string s(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (!s.empty()) Stream.ReadBuffer(s.data(), static_cast<std::int32_t>(s.size()));
  SetText(s);
}

void TStrings::SaveToStream(TStream& Stream) const {
  std::string s = Text();
  Stream.WriteBuffer(s.data(), static_cast<std::int32_t>(s.size()));
}

void TStrings::LoadFromFile(const std::string& FileName) {
  TMemoryStream m;
  m.LoadFromFile(FileName);
  LoadFromStream(m);
}

void TStrings::SaveToFile(const std::string& FileName) const {
  TMemoryStream m;
  SaveToStream(m);
  m.SaveToFile(FileName);
}

void TStrings::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TStrings*>(Source)) {
    if (src == this) return;
    Clear();
    AddStrings(*src);
    return;
  }
  TPersistent::Assign(Source);
}

void TStrings::DefineProperties(TFiler& Filer) {
  Filer.DefineProperty(
      "Strings",
      [this](const FormValue& value) {
        if (value.kind != FormValue::Kind::List) throw EReadError("Invalid property value");
        Clear();
        for (const FormValue& item : value.items) {
          if (item.kind != FormValue::Kind::String) throw EReadError("Invalid property value");
          Add(item.text);
        }
      },
      [this]() {
        FormValue list = FormValue::List();
        for (int i = 0; i < Count(); ++i) list.items.push_back(FormValue::String(Get(i)));
        return list;
      },
      Count() > 0);
}

const TClassInfo& TStringList::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TStringList>("TStringList", TStrings::StaticClassInfo()).Build();
  return info;
}

std::string TStringList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) Error(Index);
  return items_[static_cast<std::size_t>(Index)];
}

void TStringList::Put(int Index, const std::string& S) {
  if (Index < 0 || Index >= Count()) Error(Index);
  items_[static_cast<std::size_t>(Index)] = S;
}

void TStringList::Insert(int Index, const std::string& S) {
  if (Index < 0 || Index > Count()) Error(Index);
  items_.insert(items_.begin() + Index, S);
}

void TStringList::Delete(int Index) {
  if (Index < 0 || Index >= Count()) Error(Index);
  items_.erase(items_.begin() + Index);
}

void TStringList::Exchange(int Index1, int Index2) {
  if (Index1 < 0 || Index1 >= Count()) Error(Index1);
  if (Index2 < 0 || Index2 >= Count()) Error(Index2);
  std::swap(items_[static_cast<std::size_t>(Index1)], items_[static_cast<std::size_t>(Index2)]);
}

}  // namespace qorv::platform
