#include "platform/ui/Controls.h"

#include <algorithm>
#include <map>

#include "platform/core/FormStream.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Forms.h"

namespace qorv::platform {

const EnumTypeInfo& AlignTypeInfo() {
  static const EnumTypeInfo info{"TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"}};
  return info;
}
const EnumTypeInfo& AnchorKindTypeInfo() {
  static const EnumTypeInfo info{"TAnchorKind", {"akLeft", "akTop", "akRight", "akBottom"}};
  return info;
}
const EnumTypeInfo& AlignmentTypeInfo() {
  static const EnumTypeInfo info{"TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"}};
  return info;
}

namespace {

void defineControlColor(TFiler& filer, TControl& c, TColor def) {
  filer.DefineProperty(
      "Color",
      [&c](const FormValue& v) {
        TColor col = 0;
        if (v.kind == FormValue::Kind::Integer) col = static_cast<TColor>(static_cast<std::uint32_t>(v.integer));
        else if (v.kind != FormValue::Kind::Identifier || !StringToColor(v.text, col))
          throw EReadError("Invalid property value: a colour expected");
        c.SetColor(col);
      },
      [&c]() {
        std::string s = ColorToString(c.Color());
        if (s.starts_with("cl")) return FormValue::Identifier(s);
        return FormValue::Integer(c.Color());
      },
      c.Color() != def && !c.ParentColor());
}

}  // namespace

const TClassInfo& TControl::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TControl>("TControl", TComponent::StaticClassInfo())
          .Integer("Left", &TControl::Left, &TControl::SetLeft, NoDefault)
          .Integer("Top", &TControl::Top, &TControl::SetTop, NoDefault)
          .Integer("Width", &TControl::Width, &TControl::SetWidth, NoDefault)
          .Integer("Height", &TControl::Height, &TControl::SetHeight, NoDefault)
          .Enumeration("Align", AlignTypeInfo(), &TControl::Align, &TControl::SetAlign, alNone)
          .Set("Anchors", AnchorKindTypeInfo(), &TControl::Anchors, &TControl::SetAnchors, TAnchors{akLeft, akTop})
          .String("Caption", &TControl::Caption, &TControl::SetCaption, "")
          .Boolean("Enabled", &TControl::Enabled, &TControl::SetEnabled, true)
          .Object("Font", [](const TControl& c) { return c.Font(); },
                  [](const TControl& c) { return !c.ParentFont(); })
          .Boolean("ParentFont", &TControl::ParentFont, &TControl::SetParentFont, true)
          .Boolean("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, false)
          .String("Hint", &TControl::Hint, &TControl::SetHint, "")
          .Boolean("ShowHint", &TControl::ShowHint, &TControl::SetShowHint, false)
          .Boolean("Visible", &TControl::Visible, &TControl::SetVisible, true)
          .Build();
  return info;
}

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), font_(std::make_unique<TFont>()) {
  font_->OnChange = [this] { fontChanged(); };
}

TControl::~TControl() {
  if (parent_) SetParent(nullptr);
  if (hasPeer_) dropPeer();
}

void TControl::DefineProperties(TFiler& Filer) {
  TComponent::DefineProperties(Filer);
  defineControlColor(Filer, *this, DefaultColor());
  // Written by the class library's designer; this system has no use for it.
  Filer.DefineProperty("ParentShowHint", [](const FormValue&) {}, [] { return FormValue::Identifier("True"); }, false);
}

void TControl::SetParent(TWinControl* Value) {
  if (Value == parent_) return;
  for (TWinControl* p = Value; p; p = p->parent_)
    if (p == this) throw EInvalidOperation("A control cannot have itself or a child of its own as its parent");
  if (parent_) {
    if (hasPeer_) dropPeer();
    TWinControl* old = parent_;
    old->removeControl(this);
    parent_ = nullptr;
    if (align_ != alNone && align_ != alCustom) old->AlignControls();
  }
  parent_ = Value;
  if (!parent_) return;
  parent_->insertControl(this);
  if (parentFont_) parentFontChanged();
  if (parent_->hasPeer_) ensurePeer();
  requestAlign();
}

void TControl::ensurePeer() {
  if (hasPeer_) return;
  CreatePeer();
  hasPeer_ = true;
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    std::vector<TControl*> children = w->controls_;
    for (TControl* c : children) c->ensurePeer();
  }
}

void TControl::dropPeer() {
  if (!hasPeer_) return;
  DestroyPeer();
  hasPeer_ = false;
  native_ = nullptr;
}

void TControl::CreatePeer() { CurrentUIBackend().CreatePeer_impl(*this); }

void TControl::DestroyPeer() { CurrentUIBackend().DestroyPeer_impl(*this); }

void TControl::AdoptNativeWidget(void* Widget) { CurrentUIBackend().AdoptPeer_impl(*this, Widget); }

void TControl::Changed(ControlAspect aspect) {
  if (hasPeer_) CurrentUIBackend().Update_impl(*this, aspect);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  TRect r{ALeft, ATop, ALeft + std::max(AWidth, 0), ATop + std::max(AHeight, 0)};
  if (r == bounds_) return;
  bounds_ = r;
  Changed(ControlAspect::Bounds);
  Resized();
  requestAlign();
}

void TControl::setBoundsFromAlign(const TRect& r) {
  if (r == bounds_) return;
  bounds_ = r;
  Changed(ControlAspect::Bounds);
  Resized();
}

void TControl::BoundsChangedByToolkit(const TRect& bounds) {
  if (bounds == bounds_) return;
  bounds_ = bounds;
  Resized();
}

void TControl::requestAlign() {
  if (parent_ && align_ != alNone && align_ != alCustom) parent_->AlignControls();
}

void TControl::SetAlign(TAlign Value) {
  if (Value == align_) return;
  TAlign old = align_;
  align_ = Value;
  if (parent_ && ((old != alNone && old != alCustom) || (Value != alNone && Value != alCustom)))
    parent_->AlignControls();
}

void TControl::SetVisible(bool Value) {
  if (Value == visible_) return;
  visible_ = Value;
  Changed(ControlAspect::Visible);
  if (parent_ && align_ != alNone && align_ != alCustom) parent_->AlignControls();
}

bool TControl::Showing() const {
  if (!visible_) return false;
  if (parent_) return parent_->Showing();
  return dynamic_cast<const TForm*>(this) != nullptr;
}

void TControl::SetEnabled(bool Value) {
  if (Value == enabled_) return;
  enabled_ = Value;
  Changed(ControlAspect::Enabled);
}

void TControl::SetText(const std::string& Value) {
  if (Value == text_) return;
  text_ = Value;
  Changed(ControlAspect::Text);
  AdjustSize();
}

void TControl::fontChanged() {
  if (!copyingFont_) parentFont_ = false;
  Changed(ControlAspect::Font);
  AdjustSize();
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    for (TControl* c : w->controls_)
      if (c->parentFont_) c->parentFontChanged();
  }
}

void TControl::parentFontChanged() {
  if (!parent_) return;
  copyingFont_ = true;
  try {
    font_->Assign(parent_->font_.get());
  } catch (...) {
    copyingFont_ = false;
    throw;
  }
  copyingFont_ = false;
}

void TControl::SetParentFont(bool Value) {
  if (Value == parentFont_) return;
  parentFont_ = Value;
  if (Value) parentFontChanged();
}

void TControl::SetColor(TColor Value) {
  if (Value == color_ && !parentColor_) return;
  color_ = Value;
  parentColor_ = false;
  Changed(ControlAspect::Color);
}

void TControl::SetParentColor(bool Value) {
  if (Value == parentColor_) return;
  parentColor_ = Value;
  Changed(ControlAspect::Color);
}

const TFont& TControl::EffectiveFont() const { return *font_; }

TColor TControl::EffectiveColor() const {
  if (parentColor_ && parent_) return parent_->EffectiveColor();
  return color_;
}

void TControl::SetHint(const std::string& Value) {
  if (Value == hint_) return;
  hint_ = Value;
  Changed(ControlAspect::State);
}

void TControl::SetShowHint(bool Value) {
  if (Value == showHint_) return;
  showHint_ = Value;
  Changed(ControlAspect::State);
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  WndProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage&) {}

void TControl::BringToFront() {
  if (parent_) {
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.push_back(this);
  }
  Changed(ControlAspect::ZOrder);
}

void TControl::SendToBack() {
  if (parent_) {
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.insert(v.begin(), this);
  }
  Changed(ControlAspect::ZOrder);
}

TForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::SetParentComponent(TComponent* AParent) {
  if (auto* w = dynamic_cast<TWinControl*>(AParent)) SetParent(w);
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::Loaded() {
  TComponent::Loaded();
  AdjustSize();
  requestAlign();
}

// ---------------------------------------------------------------------------

namespace {

std::map<HWND, TWinControl*>& handleMap() {
  static std::map<HWND, TWinControl*> map;
  return map;
}

}  // namespace

const TClassInfo& TWinControl::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TWinControl>("TWinControl", TControl::StaticClassInfo())
                                     .Integer("TabOrder", &TWinControl::TabOrder, &TWinControl::SetTabOrder, -1)
                                     .Boolean("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop, false)
                                     .Build();
  return info;
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  // The children stay with their owner; they only leave this container,
  // after their toolkit objects, which live inside this one's.
  std::vector<TControl*> children = controls_;
  for (TControl* c : children) {
    if (c->hasPeer_) c->dropPeer();
    c->parent_ = nullptr;
  }
  controls_.clear();
  if (hasPeer_) dropPeer();
  if (handle_) {
    handleMap().erase(handle_);
    HWND h = handle_;
    handle_ = nullptr;
    DeallocateHWnd(h);
  }
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount()) throw EListError("Control index out of bounds (" + std::to_string(Index) + ")");
  return controls_[static_cast<std::size_t>(Index)];
}

bool TWinControl::ContainsControl(const TControl* Control) const {
  for (const TControl* c = Control; c; c = c->parent_)
    if (c == this) return true;
  return false;
}

void TWinControl::SetTabOrder(int Value) {
  tabOrder_ = Value;
  Changed(ControlAspect::State);
}

HWND TWinControl::Handle() {
  if (!handle_) {
    handle_ = AllocateHWnd(TWndMethod([this](TMessage& m) { WndProc(m); }));
    if (handle_) handleMap()[handle_] = this;
  }
  return handle_;
}

TWinControl* TWinControl::FindControl(HWND Window) {
  auto it = handleMap().find(Window);
  return it == handleMap().end() ? nullptr : it->second;
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->Parent())
    if (!c->Visible() || !c->Enabled()) return false;
  return ParentForm() != nullptr;
}

void TWinControl::SetFocus() {
  TForm* f = ParentForm();
  if (!f) return;
  if (f != this) f->SetActiveControl(this);
  Changed(ControlAspect::Focus);
}

bool TWinControl::Focused() const {
  TForm* f = ParentForm();
  return f && f->ActiveControl() == this;
}

TRect TWinControl::AlignClientRect() const { return TRect{0, 0, ClientWidth(), ClientHeight()}; }

void TWinControl::AlignControls() {
  if (aligning_) return;
  aligning_ = true;
  try {
    TRect r = AlignClientRect();
    for (TAlign pass : {alTop, alBottom, alLeft, alRight, alClient}) {
      for (TControl* c : std::vector<TControl*>(controls_)) {
        if (c->align_ != pass || !c->visible_) continue;
        int w = c->Width(), h = c->Height();
        TRect b;
        switch (pass) {
          case alTop: b = {r.Left, r.Top, r.Right, r.Top + h}; r.Top += h; break;
          case alBottom: b = {r.Left, r.Bottom - h, r.Right, r.Bottom}; r.Bottom -= h; break;
          case alLeft: b = {r.Left, r.Top, r.Left + w, r.Bottom}; r.Left += w; break;
          case alRight: b = {r.Right - w, r.Top, r.Right, r.Bottom}; r.Right -= w; break;
          default: b = {r.Left, r.Top, std::max(r.Right, r.Left), std::max(r.Bottom, r.Top)}; break;
        }
        if (b.Right < b.Left) b.Right = b.Left;
        if (b.Bottom < b.Top) b.Bottom = b.Top;
        c->setBoundsFromAlign(b);
      }
    }
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

void TWinControl::Resized() { AlignControls(); }

void TWinControl::CreatePeer() { TControl::CreatePeer(); }

void TWinControl::DestroyPeer() {
  for (TControl* c : std::vector<TControl*>(controls_))
    if (c->hasPeer_) c->dropPeer();
  TControl::DestroyPeer();
}

void TWinControl::insertControl(TControl* control) { controls_.push_back(control); }

void TWinControl::removeControl(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
  if (TForm* f = ParentForm()) {
    if (f->ActiveControl() == control ||
        (dynamic_cast<TWinControl*>(control) && static_cast<TWinControl*>(control)->ContainsControl(f->ActiveControl())))
      f->SetActiveControl(nullptr);
  }
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  if (Root == this) TComponent::GetChildren(Proc, Root);
  for (TControl* c : controls_)
    if (c->Owner() == Root) Proc(c);
}

}  // namespace qorv::platform
