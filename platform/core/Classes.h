// The component model: objects, persistent objects, components.
//
// TObject is the root: a virtual destructor, the class's name, and Free,
// which runs BeforeDestruction before the destructor chain (a C++ derived
// destructor runs before its base's, so a component learns that it is being
// destroyed there, in Destroying, before any of its own destructor bodies).
//
// TPersistent adds Assign, whose default fails with EConvertError "Cannot
// assign a <source class or nil> to a <dest class>", and DefineProperties,
// the hook for data stored with a form that is not a published property.
//
// TComponent adds the owner and name. A component inserts itself into its
// owner's list when constructed and is freed by it (owned components in
// reverse order of insertion) after the owner and everything it owns have
// been marked csDestroying. Inserting and removing a component is announced
// to the owner and all its owned components through Notification; a
// component that asked for FreeNotification of one outside its owner hears
// of that one's destruction too. csLoading is set while a form description
// is loaded into the component and cleared by Loaded; csReading while its
// own properties are read.
//
// Threads: the component tree belongs to the main thread. Nothing here
// locks; a component may be created, read and freed on another thread only
// when no other thread touches that tree meanwhile.
//
// Published properties are declared per class with ClassInfoBuilder, in a
// function-local static returned by StaticClassInfo(); the
// QORV_DECLARE_CLASSINFO() macro declares that function and the ClassInfo
// override. A class that declares none reports its nearest ancestor's name.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/TypInfo.h"

namespace qorv::platform {

class TFiler;
class ComponentStreamer;

#define QORV_DECLARE_CLASSINFO()                                                 \
public:                                                                          \
  static const ::qorv::platform::TClassInfo& StaticClassInfo();                 \
  const ::qorv::platform::TClassInfo& ClassInfo() const override { return StaticClassInfo(); }

class TObject {
public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;

  static const TClassInfo& StaticClassInfo();
  virtual const TClassInfo& ClassInfo() const { return StaticClassInfo(); }
  const std::string& ClassName() const { return ClassInfo().Name; }
  bool InheritsFrom(const TClassInfo& info) const { return ClassInfo().InheritsFrom(info); }

  // BeforeDestruction, then delete. Null-safe through FreeAndNil.
  void Free();

protected:
  virtual void BeforeDestruction() {}
};

// Frees an object (through Free) and clears the pointer.
template <class T>
void FreeAndNil(T*& object) {
  T* o = object;
  object = nullptr;
  if (o) o->Free();
}

// For std::unique_ptr<T, FreeDeleter>.
struct FreeDeleter {
  void operator()(TObject* object) const {
    if (object) object->Free();
  }
};

// The priority levels of a worker thread, in the class library's order; the
// worker-thread module maps them to the system's priority values.
enum TThreadPriority : std::uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TPersistent : public TObject {
  QORV_DECLARE_CLASSINFO()
public:
  // Copies Source into this object. The default hands the work to
  // Source->AssignTo(this); a null Source or one that knows nothing of this
  // class fails with EConvertError.
  virtual void Assign(TPersistent* Source);

protected:
  // Copies this object into Dest. The default fails as Assign does.
  virtual void AssignTo(TPersistent* Dest);
  // Declares pseudo-properties to the reader or writer of a form
  // description (TFiler in FormStream.h). The default declares none.
  virtual void DefineProperties(TFiler& Filer);
  [[noreturn]] void AssignError(const TPersistent* Source) const;

  friend class ComponentStreamer;
};

enum TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning, csFreeNotification };
using TComponentState = TSet<TComponentStateItem>;

enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // A name is empty or an identifier (letter or "_", then letters, digits,
  // "_"), unique among the owner's components without regard to case;
  // otherwise EComponentError.
  virtual void SetName(const std::string& NewName);
  std::int64_t Tag() const { return tag_; }
  void SetTag(std::int64_t value) { tag_ = value; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  // EListError for an index out of range.
  TComponent* Components(int Index) const;
  // The position in the owner's list; -1 without an owner.
  int ComponentIndex() const;
  // An owned component by name, without regard to case; nullptr if none.
  TComponent* FindComponent(const std::string& AName) const;

  TComponentState ComponentState() const { return state_; }
  // Sets or clears csDesigning here and, unless told otherwise, on every
  // owned component.
  enum class Propagation { WithOwned, ThisOnly };
  void SetDesigning(bool Value, Propagation propagation = Propagation::WithOwned);

  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Frees all owned components, last first.
  void DestroyComponents();
  // Marks this component and everything it owns csDestroying.
  void Destroying();

  // Asks to hear (through Notification opRemove) when AComponent is freed;
  // needed only for components that are not owned by the same owner, whose
  // Notifications reach each other anyway. The request is mutual.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Called once a form description has been read completely; clears
  // csLoading. Overrides call the inherited one first.
  virtual void Loaded();
  // The default passes the news to every owned component; on opRemove it
  // also forgets a free notification of AComponent. Overrides clear their
  // references to a removed component and call the inherited one.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

  // Form streaming hooks. A nested object in a form description is owned by
  // the root and told its enclosing object through SetParentComponent (the
  // default ignores it); the writer asks each component for the children it
  // writes nested inside it. The default GetChildren of the root lists the
  // owned components that have no parent component; other components list
  // none.
  virtual void SetParentComponent(TComponent* Parent);
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual bool HasParent() const { return false; }
  virtual void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root);

protected:
  void BeforeDestruction() override { Destroying(); }
  void ValidateRename(TComponent* AComponent, const std::string& CurName, const std::string& NewName) const;

private:
  void insert(TComponent* c);
  void remove(TComponent* c);
  void removeFreeNotifications();

  TComponent* owner_ = nullptr;
  std::string name_;
  std::int64_t tag_ = 0;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  TComponentState state_;

  friend class ComponentStreamer;
};

// True when Name is a valid identifier.
bool IsValidIdent(const std::string& Name);

// ---------------------------------------------------------------------------
// Declaring published properties.

struct NoDefaultTag {};
inline constexpr NoDefaultTag NoDefault{};

struct OrdinalDefault {
  std::optional<std::int64_t> value;
  OrdinalDefault(NoDefaultTag) {}
  template <class V>
    requires(std::is_integral_v<V> || std::is_enum_v<V>)
  OrdinalDefault(V v) : value(static_cast<std::int64_t>(v)) {}
  template <class E>
  OrdinalDefault(TSet<E> s) : value(static_cast<std::int64_t>(s.Bits())) {}
};

struct FloatDefault {
  std::optional<double> value;
  FloatDefault(NoDefaultTag) {}
  FloatDefault(double v) : value(v) {}
};

struct StringDefault {
  std::optional<std::string> value;
  StringDefault(NoDefaultTag) {}
  StringDefault(const char* v) : value(v) {}
  StringDefault(std::string v) : value(std::move(v)) {}
};

namespace detail {

template <class T, class G>
decltype(auto) get(const T& object, const G& getter) {
  return std::invoke(getter, object);
}

template <class T, class S, class V>
void set(T& object, const S& setter, V&& value) {
  if constexpr (std::is_member_object_pointer_v<S>) object.*setter = std::forward<V>(value);
  else std::invoke(setter, object, std::forward<V>(value));
}

template <class T>
struct IsSet : std::false_type {};
template <class E>
struct IsSet<TSet<E>> : std::true_type {};

template <class V>
std::int64_t toOrdinal(const V& v) {
  if constexpr (IsSet<V>::value) return static_cast<std::int64_t>(v.Bits());
  else return static_cast<std::int64_t>(v);
}

[[noreturn]] void outOfRange(std::int64_t value);

template <class V>
V fromOrdinal(std::int64_t n) {
  if constexpr (IsSet<V>::value) {
    return V::FromBits(static_cast<std::uint64_t>(n));
  } else if constexpr (std::is_same_v<V, bool>) {
    return n != 0;
  } else if constexpr (std::is_enum_v<V>) {
    return static_cast<V>(n);
  } else {
    if constexpr (std::is_signed_v<V>) {
      if (n < static_cast<std::int64_t>(std::numeric_limits<V>::min()) ||
          n > static_cast<std::int64_t>(std::numeric_limits<V>::max()))
        outOfRange(n);
    } else {
      if (n < 0 || static_cast<std::uint64_t>(n) > static_cast<std::uint64_t>(std::numeric_limits<V>::max()))
        outOfRange(n);
    }
    return static_cast<V>(n);
  }
}

template <class M>
struct MethodTraits;
template <class T, class R, class... A>
struct MethodTraits<R (T::*)(A...)> {
  using Function = std::function<R(A...)>;
};

}  // namespace detail

// Builds the TClassInfo of T. Getters are callables on const T& (member
// functions, data member pointers, lambdas); setters are callables on (T&,
// value) or data member pointers. A stored rule is a StoredRule or a
// predicate on const T&.
template <class T>
class ClassInfoBuilder {
public:
  ClassInfoBuilder(std::string name, const TClassInfo& parent) {
    info_.Name = std::move(name);
    info_.Parent = &parent;
  }

  template <class G, class S, class St = StoredRule>
  ClassInfoBuilder& Integer(std::string name, G get, S set, OrdinalDefault def = NoDefault, St stored = {}) {
    return ordinal(std::move(name), TPropKind::Integer, nullptr, get, set, def, rule(std::move(stored)));
  }
  template <class G, class S, class St = StoredRule>
  ClassInfoBuilder& Boolean(std::string name, G get, S set, OrdinalDefault def = NoDefault, St stored = {}) {
    return ordinal(std::move(name), TPropKind::Boolean, nullptr, get, set, def, rule(std::move(stored)));
  }
  template <class G, class S, class St = StoredRule>
  ClassInfoBuilder& Enumeration(std::string name, const EnumTypeInfo& type, G get, S set,
                                OrdinalDefault def = NoDefault, St stored = {}) {
    return ordinal(std::move(name), TPropKind::Enumeration, &type, get, set, def, rule(std::move(stored)));
  }
  template <class G, class S, class St = StoredRule>
  ClassInfoBuilder& Set(std::string name, const EnumTypeInfo& type, G get, S set, OrdinalDefault def = NoDefault,
                        St stored = {}) {
    return ordinal(std::move(name), TPropKind::Set, &type, get, set, def, rule(std::move(stored)));
  }
  template <class G, class S, class St = StoredRule>
  ClassInfoBuilder& Float(std::string name, G get, S set, FloatDefault def = 0.0, St stored = {}) {
    PropInfo p = base(std::move(name), TPropKind::Float, rule(std::move(stored)));
    p.GetFloat = [get](const TObject& o) { return static_cast<double>(detail::get(cast(o), get)); };
    p.SetFloat = [set](TObject& o, double v) {
      using V = std::decay_t<decltype(detail::get(std::declval<const T&>(), std::declval<G>()))>;
      detail::set(cast(o), set, static_cast<V>(v));
    };
    p.DefaultFloat = def.value;
    return add(std::move(p));
  }
  // Strings are written unless they equal the default, which is empty
  // unless declared otherwise; NoDefault writes them always.
  template <class G, class S, class St = StoredRule>
  ClassInfoBuilder& String(std::string name, G get, S set, StringDefault def = "", St stored = {}) {
    PropInfo p = base(std::move(name), TPropKind::String, rule(std::move(stored)));
    p.GetStr = [get](const TObject& o) { return std::string(detail::get(cast(o), get)); };
    p.SetStr = [set](TObject& o, const std::string& v) { detail::set(cast(o), set, v); };
    p.DefaultStr = def.value;
    return add(std::move(p));
  }
  // A nested persistent object owned by the instance; its own properties
  // are read and written under "Name.".
  template <class G, class St = StoredRule>
  ClassInfoBuilder& Object(std::string name, G get, St stored = {}) {
    PropInfo p = base(std::move(name), TPropKind::Class, rule(std::move(stored)));
    p.GetObject = [get](const TObject& o) -> TPersistent* { return detail::get(cast(o), get); };
    return add(std::move(p));
  }
  // An event held in a Method member of T.
  template <class Sig, class St = StoredRule>
  ClassInfoBuilder& Event(std::string name, Method<Sig> T::*field, St stored = {}) {
    return Event(
        std::move(name), [field](const T& t) -> const Method<Sig>& { return t.*field; },
        [field](T& t, Method<Sig> m) { t.*field = std::move(m); }, std::move(stored));
  }
  // An event read through Get (returning a Method) and written through Set.
  template <class G, class S, class St = StoredRule>
  ClassInfoBuilder& Event(std::string name, G get, S set, St stored = {}) {
    using M = std::decay_t<decltype(detail::get(std::declval<const T&>(), std::declval<G>()))>;
    PropInfo p = base(std::move(name), TPropKind::Event, rule(std::move(stored)));
    p.EventSignature = &typeid(typename M::Function);
    p.GetMethodName = [get](const TObject& o) {
      const M& m = detail::get(cast(o), get);
      return m.Assigned() ? m.Name() : std::string();
    };
    p.EventAssigned = [get](const TObject& o) { return detail::get(cast(o), get).Assigned(); };
    p.SetMethod = [set](TObject& o, TObject* data, const std::any& code, const std::string& methodName) {
      detail::set(cast(o), set, M(data, std::any_cast<const typename M::Function&>(code), methodName));
    };
    return add(std::move(p));
  }
  // A member function that form descriptions may name as an event handler
  // of any component in a form whose root is a T.
  template <class F>
  ClassInfoBuilder& PublishedMethod(std::string name, F member) {
    using Function = typename detail::MethodTraits<F>::Function;
    MethodEntry e;
    e.Name = std::move(name);
    e.Signature = &typeid(Function);
    e.Bind = [member](TObject& o) -> std::any {
      T* self = &static_cast<T&>(o);
      return Function([self, member](auto&&... args) { return (self->*member)(std::forward<decltype(args)>(args)...); });
    };
    info_.OwnMethods.push_back(std::move(e));
    return *this;
  }
  // Lets form loading create a T for an owner.
  ClassInfoBuilder& Creatable() {
    info_.Create = [](TComponent* owner) -> TComponent* { return new T(owner); };
    return *this;
  }

  TClassInfo Build() { return std::move(info_); }

private:
  static const T& cast(const TObject& o) { return static_cast<const T&>(o); }
  static T& cast(TObject& o) { return static_cast<T&>(o); }

  static StoredRule rule(StoredRule r) { return r; }
  template <class P>
    requires std::is_invocable_r_v<bool, P, const T&>
  static StoredRule rule(P predicate) {
    return StoredRule::When([predicate](const TObject& o) { return static_cast<bool>(predicate(cast(o))); });
  }

  PropInfo base(std::string name, TPropKind kind, StoredRule stored) {
    PropInfo p;
    p.Name = std::move(name);
    p.Kind = kind;
    p.Stored = std::move(stored);
    return p;
  }

  template <class G, class S>
  ClassInfoBuilder& ordinal(std::string name, TPropKind kind, const EnumTypeInfo* type, G get, S set,
                            OrdinalDefault def, StoredRule stored) {
    PropInfo p = base(std::move(name), kind, std::move(stored));
    p.Enum = type;
    p.GetOrd = [get](const TObject& o) { return detail::toOrdinal(detail::get(cast(o), get)); };
    p.SetOrd = [set](TObject& o, std::int64_t v) {
      using V = std::decay_t<decltype(detail::get(std::declval<const T&>(), std::declval<G>()))>;
      detail::set(cast(o), set, detail::fromOrdinal<V>(v));
    };
    p.DefaultOrd = def.value;
    return add(std::move(p));
  }

  ClassInfoBuilder& add(PropInfo p) {
    info_.OwnProperties.push_back(std::move(p));
    return *this;
  }

  TClassInfo info_;
};

}  // namespace qorv::platform
