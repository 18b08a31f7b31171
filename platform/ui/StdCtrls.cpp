#include "platform/ui/StdCtrls.h"

#include <algorithm>

#include "platform/ui/Backend.h"
#include "platform/ui/Forms.h"

namespace qorv::platform {

const EnumTypeInfo& TextLayoutTypeInfo() {
  static const EnumTypeInfo info{"TTextLayout", {"tlTop", "tlCenter", "tlBottom"}};
  return info;
}
const EnumTypeInfo& BorderStyleTypeInfo() {
  static const EnumTypeInfo info{"TFormBorderStyle",
                                 {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}};
  return info;
}

namespace {

// The caption as shown: "&x" marks x, "&&" is one "&".
std::string stripAccel(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 1 < s.size()) ++i;
    else if (s[i] == '&') continue;
    out += s[i];
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------

const TClassInfo& TLabel::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TLabel>("TLabel", TControl::StaticClassInfo())
          .Boolean("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize, true)
          .Boolean("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap, false)
          .Enumeration("Alignment", AlignmentTypeInfo(), &TLabel::Alignment, &TLabel::SetAlignment, taLeftJustify)
          .Enumeration("Layout", TextLayoutTypeInfo(), &TLabel::Layout, &TLabel::SetLayout, tlTop)
          .Boolean("Transparent", &TLabel::Transparent, &TLabel::SetTransparent, false)
          .Boolean("ShowAccelChar", &TLabel::ShowAccelChar, &TLabel::SetShowAccelChar, true)
          .Creatable()
          .Build();
  return info;
}

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner) {
  bounds_ = {0, 0, 65, 13};
  SetParentColor(true);
}

void TLabel::SetAutoSize(bool Value) {
  if (Value == autoSize_) return;
  autoSize_ = Value;
  AdjustSize();
}
void TLabel::SetWordWrap(bool Value) {
  if (Value == wordWrap_) return;
  wordWrap_ = Value;
  Changed(ControlAspect::State);
  AdjustSize();
}
void TLabel::SetAlignment(TAlignment Value) {
  alignment_ = Value;
  Changed(ControlAspect::State);
}
void TLabel::SetLayout(TTextLayout Value) {
  layout_ = Value;
  Changed(ControlAspect::State);
}
void TLabel::SetTransparent(bool Value) {
  transparent_ = Value;
  Changed(ControlAspect::Color);
}
void TLabel::SetShowAccelChar(bool Value) {
  if (Value == showAccelChar_) return;
  showAccelChar_ = Value;
  Changed(ControlAspect::Text);
  AdjustSize();
}

void TLabel::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  bool widthChanged = AWidth != Width();
  TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  if (widthChanged && wordWrap_) AdjustSize();
}

void TLabel::AdjustSize() {
  if (!autoSize_ || adjusting_ || ComponentState().Contains(csLoading)) return;
  adjusting_ = true;
  std::string text = showAccelChar_ ? stripAccel(Caption()) : Caption();
  TSize size = CurrentUIBackend().MeasureText_impl(text, *Font(), wordWrap_ ? Width() : -1);
  if (wordWrap_) TControl::SetBounds(Left(), Top(), Width(), size.cy);
  else TControl::SetBounds(Left(), Top(), size.cx, size.cy);
  adjusting_ = false;
}

// ---------------------------------------------------------------------------

const TClassInfo& TButton::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TButton>("TButton", TWinControl::StaticClassInfo())
                                     .Boolean("Default", &TButton::Default, &TButton::SetDefault, false)
                                     .Boolean("Cancel", &TButton::Cancel, &TButton::SetCancel, false)
                                     .Integer("ModalResult", &TButton::ModalResult, &TButton::SetModalResult, 0)
                                     .Event("OnClick", &TButton::OnClick)
                                     .Creatable()
                                     .Build();
  return info;
}

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
  bounds_ = {0, 0, 75, 25};
  SetTabStop(true);
}

void TButton::SetDefault(bool Value) {
  default_ = Value;
  Changed(ControlAspect::State);
}
void TButton::SetCancel(bool Value) { cancel_ = Value; }

void TButton::Click() {
  if (!Enabled() || !Visible()) return;
  // The form learns the result before the handler runs, as the class
  // library does, so a handler may still overrule it.
  if (modalResult_ != mrNone) {
    if (TForm* f = ParentForm()) f->SetModalResult(modalResult_);
  }
  if (OnClick) OnClick(this);
}

// ---------------------------------------------------------------------------

const TClassInfo& TEdit::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TEdit>("TEdit", TWinControl::StaticClassInfo())
          .String("Text", &TEdit::Text, &TEdit::SetText, "")
          .String(
              "PasswordChar", [](const TEdit& e) { return e.PasswordChar() ? std::string(1, e.PasswordChar()) : std::string(); },
              [](TEdit& e, const std::string& v) { e.SetPasswordChar(v.empty() ? '\0' : v[0]); }, "")
          .Integer("MaxLength", &TEdit::MaxLength, &TEdit::SetMaxLength, 0)
          .Boolean("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly, false)
          .Enumeration("BorderStyle", BorderStyleTypeInfo(), &TEdit::BorderStyle, &TEdit::SetBorderStyle, bsSingle)
          .Event("OnKeyPress", &TEdit::OnKeyPress)
          .Event("OnChange", &TEdit::OnChange)
          .Creatable()
          .Build();
  return info;
}

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  bounds_ = {0, 0, 121, 21};
  SetTabStop(true);
  SetColor(clWindow);
}

void TEdit::SetPasswordChar(char Value) {
  passwordChar_ = Value;
  Changed(ControlAspect::State);
}
void TEdit::SetMaxLength(int Value) {
  maxLength_ = std::max(Value, 0);
  Changed(ControlAspect::State);
  if (maxLength_ > 0 && static_cast<int>(Text().size()) > maxLength_) SetText(Text());
}
void TEdit::SetReadOnly(bool Value) {
  readOnly_ = Value;
  Changed(ControlAspect::State);
}
void TEdit::SetBorderStyle(TBorderStyle Value) {
  borderStyle_ = Value == bsNone ? bsNone : bsSingle;
  Changed(ControlAspect::State);
}

void TEdit::SetText(const std::string& Value) {
  std::string v = Value;
  if (maxLength_ > 0 && static_cast<int>(v.size()) > maxLength_) v.resize(static_cast<std::size_t>(maxLength_));
  if (v == Text()) return;
  TControl::SetText(v);
  if (OnChange) OnChange(this);
}

char TEdit::FilterKey(char Key) {
  if (OnKeyPress) OnKeyPress(this, Key);
  return Key;
}

char TEdit::TypeKey(char Key) {
  Key = FilterKey(Key);
  if (Key == 0 || readOnly_) return Key;
  std::string t = Text();
  if (Key == static_cast<char>(VK_BACK)) {
    if (!t.empty()) t.pop_back();
  } else if (static_cast<unsigned char>(Key) >= 0x20) {
    if (maxLength_ > 0 && static_cast<int>(t.size()) >= maxLength_) return Key;
    t += Key;
  }
  SetText(t);
  return Key;
}

void TEdit::TextChangedByToolkit(const std::string& Value) {
  if (Value == Text()) return;
  // The toolkit already shows it; only the model and the handler follow.
  text_ = Value;
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------

const TClassInfo& TGroupBox::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TGroupBox>("TGroupBox", TWinControl::StaticClassInfo()).Creatable().Build();
  return info;
}

TGroupBox::TGroupBox(TComponent* AOwner) : TWinControl(AOwner) { bounds_ = {0, 0, 185, 105}; }

TRect TGroupBox::AlignClientRect() const {
  int top = EffectiveFont().PixelHeight() + 2;
  return TRect{2, top, std::max(2, Width() - 2), std::max(top, Height() - 2)};
}

}  // namespace qorv::platform
