// Standard controls: label, button, edit, group box.
//
// Threads: main thread only. Ownership as for every control (Controls.h).
//
// TLabel measures its text through the backend (Pango under GTK; a fixed
// per-character estimate in the headless backend: Font.PixelHeight() per
// line, (|Font.Height| + 1) / 2 pixels per character). With AutoSize on, a
// label without WordWrap takes the width and height of its text; with
// WordWrap it keeps its width and takes the height of the wrapped text. The
// size is recomputed whenever Caption, Font, Width (when wrapping) or
// WordWrap change, and after loading.
//
// TButton: the caption's "&" marks the next character as the mnemonic
// ("&&" is a literal "&"). Clicking it (user, Click(), Enter on a Default
// button, Escape on a Cancel button) fires OnClick and then, when
// ModalResult is not mrNone, sets the parent form's ModalResult.
//
// TEdit: every character the user types goes through OnKeyPress first; the
// handler may change it, or set it to 0 to drop it. Text set by code does
// not go through OnKeyPress; OnChange fires for both.
#pragma once

#include <string>

#include "platform/ui/Controls.h"

namespace qorv::platform {

enum TTextLayout { tlTop, tlCenter, tlBottom };
const EnumTypeInfo& TextLayoutTypeInfo();

class TLabel : public TControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TLabel(TComponent* AOwner);

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout Value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool Value);
  // "&" in the caption marks a mnemonic when true (the default).
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool Value);

  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

protected:
  void AdjustSize() override;

private:
  bool autoSize_ = true;
  bool wordWrap_ = false;
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool transparent_ = false;
  bool showAccelChar_ = true;
  bool adjusting_ = false;
};

class TButton : public TWinControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TButton(TComponent* AOwner);

  bool Default() const { return default_; }
  void SetDefault(bool Value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool Value);
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult Value) { modalResult_ = Value; }

  // What a user's click does; nothing when the button is disabled or not
  // visible.
  virtual void Click();

  TNotifyEvent OnClick;

private:
  bool default_ = false;
  bool cancel_ = false;
  TModalResult modalResult_ = mrNone;
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
const EnumTypeInfo& BorderStyleTypeInfo();

class TEdit : public TWinControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TEdit(TComponent* AOwner);

  // 0: characters are shown; otherwise each is shown as this one.
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char Value);
  // 0: no limit. Text set by code is cut to it, as typed text is.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int Value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool Value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  void SetText(const std::string& Value) override;

  // What typing Key does: OnKeyPress may change or drop it; then a
  // printable character is appended (up to MaxLength), VK_BACK deletes the
  // last one. Returns the key after the filter (0 when dropped). The GTK
  // backend feeds the user's keys through it; tests call it directly.
  char TypeKey(char Key);
  // OnKeyPress alone: the key the handler leaves (0 when dropped).
  char FilterKey(char Key);

  // Called by the backend when the user changed the text in the toolkit.
  void TextChangedByToolkit(const std::string& Value);

  TKeyPressEvent OnKeyPress;
  TNotifyEvent OnChange;

protected:
  TColor DefaultColor() const override { return clWindow; }

private:
  char passwordChar_ = 0;
  int maxLength_ = 0;
  bool readOnly_ = false;
  TBorderStyle borderStyle_ = bsSingle;
};

// A frame with a caption in its top border; its children's positions count
// from its own top-left corner, as in form descriptions.
class TGroupBox : public TWinControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TGroupBox(TComponent* AOwner);

protected:
  TRect AlignClientRect() const override;
};

}  // namespace qorv::platform
