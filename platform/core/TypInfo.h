// Run-time type information: sets, enumeration names, events, published
// properties and the class registry.
//
// Every streamable class describes itself with one TClassInfo, built once
// (a function-local static) by ClassInfoBuilder in Classes.h: its name, its
// parent's info, its published properties in declared order, the published
// methods that a form description may name as event handlers, and, for
// components, how to create one for an owner. The infos are immutable after
// construction and may be read from any thread. The class registry is filled
// on the main thread at start-up (RegisterClass) and read by form loading;
// it takes a lock, so a late registration is safe too.
//
// An event is a Method: an object and a callable bound to it, with the name
// of the published method it came from when a form description bound it.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace qorv::platform {

class TObject;
class TPersistent;
class TComponent;

// A set of up to 64 members of the enumeration E, bit n for ordinal n, as
// the class library stores sets. +, - and * are union, difference and
// intersection.
template <class E>
class TSet {
  static_assert(std::is_enum_v<E>);

public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> members) {
    for (E m : members) bits_ |= bit(m);
  }
  static constexpr TSet FromBits(std::uint64_t bits) {
    TSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr std::uint64_t Bits() const { return bits_; }
  constexpr bool Contains(E m) const { return (bits_ & bit(m)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr TSet& Include(E m) {
    bits_ |= bit(m);
    return *this;
  }
  constexpr TSet& Exclude(E m) {
    bits_ &= ~bit(m);
    return *this;
  }
  friend constexpr bool operator==(TSet a, TSet b) { return a.bits_ == b.bits_; }
  friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
  friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
  friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }

private:
  static constexpr std::uint64_t bit(E m) { return std::uint64_t{1} << static_cast<unsigned>(m); }
  std::uint64_t bits_ = 0;
};

// Member names of an enumeration, ordinal 0 first, as form descriptions
// write them. Sets of the enumeration use the same info.
struct EnumTypeInfo {
  std::string Name;
  std::vector<std::string> Members;
};

// The member name of an ordinal; empty when out of range.
std::string GetEnumName(const EnumTypeInfo& info, std::int64_t ordinal);
// The ordinal of a member name (compared without regard to case); -1 when
// there is none.
std::int64_t GetEnumValue(const EnumTypeInfo& info, const std::string& name);

template <class Sig>
class Method;

// An event: the object whose method it is, the callable, and the published
// method's name when it was bound by name. Calling an unassigned event is
// the caller's fault (std::bad_function_call); test Assigned first.
template <class R, class... A>
class Method<R(A...)> {
public:
  using Function = std::function<R(A...)>;

  Method() = default;
  Method(TObject* data, Function code, std::string name = {})
      : data_(data), code_(std::move(code)), name_(std::move(name)) {}
  // Binds a member function of Object.
  template <class T, class F>
  static Method Of(T* object, F member, std::string name = {}) {
    return Method(object, [object, member](A... args) -> R { return (object->*member)(std::forward<A>(args)...); },
                  std::move(name));
  }

  bool Assigned() const { return static_cast<bool>(code_); }
  explicit operator bool() const { return Assigned(); }
  R operator()(A... args) const { return code_(std::forward<A>(args)...); }

  TObject* Data() const { return data_; }
  const Function& Code() const { return code_; }
  // The published method's name; empty for handlers bound in code.
  const std::string& Name() const { return name_; }
  void Clear() { *this = Method(); }

private:
  TObject* data_ = nullptr;
  Function code_;
  std::string name_;
};

template <class M>
bool Assigned(const M& event) {
  return event.Assigned();
}

using TNotifyEvent = Method<void(TObject* Sender)>;

enum class TPropKind { Integer, Boolean, Enumeration, Set, Float, String, Class, Event };

// When a property is written to a form description, beyond the default test.
class StoredRule {
public:
  enum class Kind { Always, Never, Predicate };
  StoredRule() = default;
  static StoredRule Never() {
    StoredRule r;
    r.kind_ = Kind::Never;
    return r;
  }
  static StoredRule When(std::function<bool(const TObject&)> predicate) {
    StoredRule r;
    r.kind_ = Kind::Predicate;
    r.predicate_ = std::move(predicate);
    return r;
  }
  bool IsStored(const TObject& instance) const {
    return kind_ == Kind::Always || (kind_ == Kind::Predicate && predicate_(instance));
  }

private:
  Kind kind_ = Kind::Always;
  std::function<bool(const TObject&)> predicate_;
};

// One published property. The accessors that match Kind are set; ordinal
// kinds (Integer, Boolean, Enumeration, Set) go through GetOrd/SetOrd, a set
// as its bit mask. A property without a declared default is always written
// (as far as its stored rule allows); with one, only when it differs.
// Class properties are nested persistent objects written with dotted names;
// Event properties are written as the bound method's name when assigned.
struct PropInfo {
  std::string Name;
  TPropKind Kind = TPropKind::Integer;
  const EnumTypeInfo* Enum = nullptr;
  std::function<std::int64_t(const TObject&)> GetOrd;
  std::function<void(TObject&, std::int64_t)> SetOrd;
  std::function<double(const TObject&)> GetFloat;
  std::function<void(TObject&, double)> SetFloat;
  std::function<std::string(const TObject&)> GetStr;
  std::function<void(TObject&, const std::string&)> SetStr;
  std::function<TPersistent*(const TObject&)> GetObject;
  // Event: the name of the bound method (empty when unassigned or bound in
  // code), and binding to a method found by name.
  std::function<std::string(const TObject&)> GetMethodName;
  std::function<bool(const TObject&)> EventAssigned;
  std::function<void(TObject&, TObject* data, const std::any& code, const std::string& name)> SetMethod;
  const std::type_info* EventSignature = nullptr;
  std::optional<std::int64_t> DefaultOrd;
  std::optional<double> DefaultFloat;
  std::optional<std::string> DefaultStr;
  StoredRule Stored;
};

// A published method: its name, its signature, and how to bind it to an
// instance (the result holds a std::function of that signature).
struct MethodEntry {
  std::string Name;
  const std::type_info* Signature = nullptr;
  std::function<std::any(TObject&)> Bind;
};

class TClassInfo {
public:
  std::string Name;
  const TClassInfo* Parent = nullptr;
  std::vector<PropInfo> OwnProperties;
  std::vector<MethodEntry> OwnMethods;
  // Set for components that a form description may create.
  std::function<TComponent*(TComponent* owner)> Create;

  bool InheritsFrom(const TClassInfo& other) const;
  // Inherited properties first, each class's in declared order.
  std::vector<const PropInfo*> Properties() const;
  // Case-insensitive, as property names in form descriptions are.
  const PropInfo* FindProperty(const std::string& name) const;
  const MethodEntry* FindMethod(const std::string& name) const;
};

// The registry by class name (case-insensitive). RegisterClass replaces an
// earlier info of the same name.
void RegisterClass(const TClassInfo& info);
void RegisterClasses(std::initializer_list<const TClassInfo*> infos);
void UnRegisterClass(const TClassInfo& info);
// EClassNotFound "Class <name> not found" when absent.
const TClassInfo& FindClass(const std::string& name);
// nullptr when absent.
const TClassInfo* GetClass(const std::string& name);

}  // namespace qorv::platform
