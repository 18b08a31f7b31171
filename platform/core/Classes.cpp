#include "platform/core/Classes.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/core/FormStream.h"
#include "platform/core/SysUtils.h"

namespace qorv::platform {

// ---------------------------------------------------------------------------
// Type information and the class registry.

std::string GetEnumName(const EnumTypeInfo& info, std::int64_t ordinal) {
  if (ordinal < 0 || static_cast<std::size_t>(ordinal) >= info.Members.size()) return {};
  return info.Members[static_cast<std::size_t>(ordinal)];
}

std::int64_t GetEnumValue(const EnumTypeInfo& info, const std::string& name) {
  for (std::size_t i = 0; i < info.Members.size(); ++i)
    if (SameText(info.Members[i], name)) return static_cast<std::int64_t>(i);
  return -1;
}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    if (c == &other) return true;
  return false;
}

std::vector<const PropInfo*> TClassInfo::Properties() const {
  std::vector<const TClassInfo*> chain;
  for (const TClassInfo* c = this; c; c = c->Parent) chain.push_back(c);
  std::vector<const PropInfo*> out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const PropInfo& p : (*it)->OwnProperties) out.push_back(&p);
  return out;
}

const PropInfo* TClassInfo::FindProperty(const std::string& name) const {
  // The most derived declaration wins, so a class may publish again what an
  // ancestor published.
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const PropInfo& p : c->OwnProperties)
      if (SameText(p.Name, name)) return &p;
  return nullptr;
}

const MethodEntry* TClassInfo::FindMethod(const std::string& name) const {
  for (const TClassInfo* c = this; c; c = c->Parent)
    for (const MethodEntry& m : c->OwnMethods)
      if (SameText(m.Name, name)) return &m;
  return nullptr;
}

namespace {

struct Registry {
  std::mutex lock;
  std::map<std::string, const TClassInfo*> byName;  // upper-case keys
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

void RegisterClass(const TClassInfo& info) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.byName[UpperCase(info.Name)] = &info;
}

void RegisterClasses(std::initializer_list<const TClassInfo*> infos) {
  for (const TClassInfo* i : infos)
    if (i) RegisterClass(*i);
}

void UnRegisterClass(const TClassInfo& info) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.byName.find(UpperCase(info.Name));
  if (it != r.byName.end() && it->second == &info) r.byName.erase(it);
}

const TClassInfo* GetClass(const std::string& name) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto it = r.byName.find(UpperCase(name));
  return it == r.byName.end() ? nullptr : it->second;
}

const TClassInfo& FindClass(const std::string& name) {
  const TClassInfo* info = GetClass(name);
  if (!info) throw EClassNotFound("Class " + name + " not found");
  return *info;
}

namespace detail {
void outOfRange(std::int64_t value) {
  throw EConvertError(Format("Value %d out of range for the property", {value}));
}
}  // namespace detail

// ---------------------------------------------------------------------------
// TObject, TPersistent

const TClassInfo& TObject::StaticClassInfo() {
  static const TClassInfo info = [] {
    TClassInfo i;
    i.Name = "TObject";
    return i;
  }();
  return info;
}

void TObject::Free() {
  BeforeDestruction();
  delete this;
}

const TClassInfo& TPersistent::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TPersistent>("TPersistent", TObject::StaticClassInfo()).Build();
  return info;
}

void TPersistent::Assign(TPersistent* Source) {
  if (Source) Source->AssignTo(this);
  else AssignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) { Dest->AssignError(this); }

void TPersistent::DefineProperties(TFiler&) {}

void TPersistent::AssignError(const TPersistent* Source) const {
  std::string sourceName = Source ? Source->ClassName() : std::string("nil");
  throw EConvertError(Format("Cannot assign a %s to a %s", {sourceName, ClassName()}));
}

// ---------------------------------------------------------------------------
// TComponent

const TClassInfo& TComponent::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TComponent>("TComponent", TPersistent::StaticClassInfo())
                                     .Integer("Tag", &TComponent::Tag, &TComponent::SetTag, 0)
                                     .Build();
  return info;
}

bool IsValidIdent(const std::string& name) {
  if (name.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  // A component deleted without Free learns of it only here.
  Destroying();
  removeFreeNotifications();
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::SetName(const std::string& NewName) {
  if (NewName == name_) return;
  if (!NewName.empty() && !IsValidIdent(NewName))
    throw EComponentError("'" + NewName + "' is not a valid component name");
  if (owner_) owner_->ValidateRename(this, name_, NewName);
  else ValidateRename(nullptr, name_, NewName);
  name_ = NewName;
}

void TComponent::ValidateRename(TComponent* AComponent, const std::string& CurName,
                                const std::string& NewName) const {
  if (AComponent && !NewName.empty() && !SameText(CurName, NewName)) {
    TComponent* other = FindComponent(NewName);
    if (other && other != AComponent) throw EComponentError("A component named " + NewName + " already exists");
  }
}

TComponent* TComponent::Components(int Index) const {
  if (Index < 0 || Index >= ComponentCount())
    throw EListError(Format("List index out of bounds (%d)", {Index}));
  return components_[static_cast<std::size_t>(Index)];
}

int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  auto& v = owner_->components_;
  auto it = std::find(v.begin(), v.end(), this);
  return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

TComponent* TComponent::FindComponent(const std::string& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, AName)) return c;
  return nullptr;
}

void TComponent::SetDesigning(bool Value, Propagation propagation) {
  if (Value) state_.Include(csDesigning);
  else state_.Exclude(csDesigning);
  if (propagation == Propagation::WithOwned)
    for (TComponent* c : components_) c->SetDesigning(Value, propagation);
}

void TComponent::insert(TComponent* c) {
  components_.push_back(c);
  c->owner_ = this;
}

void TComponent::remove(TComponent* c) {
  auto it = std::find(components_.begin(), components_.end(), c);
  if (it != components_.end()) components_.erase(it);
  c->owner_ = nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent) return;
  if (AComponent->owner_) AComponent->owner_->RemoveComponent(AComponent);
  ValidateRename(AComponent, std::string(), AComponent->name_);
  insert(AComponent);
  if (state_.Contains(csDesigning)) AComponent->SetDesigning(true);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->owner_ != this) return;
  Notification(AComponent, opRemove);
  remove(AComponent);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* c = components_.back();
    // Taken out first, so that its destructor does not look for its owner.
    remove(c);
    c->Free();
  }
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (!owner_ || AComponent->owner_ != owner_) {
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent) == freeNotifies_.end()) {
      freeNotifies_.push_back(AComponent);
      AComponent->FreeNotification(this);
    }
  }
  state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  auto it = std::find(freeNotifies_.begin(), freeNotifies_.end(), AComponent);
  if (it == freeNotifies_.end()) return;
  freeNotifies_.erase(it);
  AComponent->RemoveFreeNotification(this);
}

void TComponent::removeFreeNotifications() {
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& theirs = other->freeNotifies_;
    theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
    other->Notification(this, opRemove);
  }
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Walk from the end and re-check the bound: a handler may free components.
  for (std::size_t i = components_.size(); i-- > 0;) {
    if (i >= components_.size()) {
      if (components_.empty()) break;
      i = components_.size() - 1;
    }
    components_[i]->Notification(AComponent, Operation);
  }
}

void TComponent::SetParentComponent(TComponent*) {}

void TComponent::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  if (Root != this) return;
  for (TComponent* c : components_)
    if (!c->HasParent()) Proc(c);
}

}  // namespace qorv::platform
