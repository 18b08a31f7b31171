// Controls: the base of everything that appears on a form.
//
// A TControl is a component with a place in its Parent (a TWinControl):
// Left, Top, Width and Height in pixels of the parent's client area, as form
// descriptions give them. Align places it instead: alTop, alBottom, alLeft
// and alRight dock it to that edge at its own height (width), alClient fills
// what is left, in the order the children were inserted; alNone and alCustom
// leave it where it is. Alignment is redone whenever the parent's client size
// or an aligned child changes, so an alClient child follows the window.
//
// Each control has a peer: the toolkit object that shows it (a widget under
// GTK, a bare record in the headless backend). A form makes its peer when it
// is first shown or its Handle is asked for; a control makes its peer when it
// is inside a parent that has one, and every property change after that is
// passed to the backend (UIBackend::Update_impl). Before, state lives in the
// object only, so controls can be built and loaded without a window.
//
// Ownership: the Owner (usually the form) frees a control; the Parent only
// shows it. Freeing a parent control removes its children from it first;
// freeing a control removes it from its parent.
//
// Threads: main thread only, as for every form and control.
//
// A control kind this area does not make itself (the web browser) derives
// from TWinControl and overrides CreatePeer: it builds its own toolkit object
// and hands it to AdoptNativeWidget, which puts it into the parent's
// container and keeps its geometry and visibility in step with the control.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/messages/Windows.h"
#include "platform/ui/Graphics.h"

namespace qorv::platform {

class TWinControl;
class TForm;
class UIBackend;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
const EnumTypeInfo& AlignTypeInfo();

enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TSet<TAnchorKind>;
const EnumTypeInfo& AnchorKindTypeInfo();

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
const EnumTypeInfo& AlignmentTypeInfo();

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;

// Key codes for the keyboard events and for simulated keys.
inline constexpr std::uint16_t VK_BACK = 0x08;
inline constexpr std::uint16_t VK_TAB = 0x09;
inline constexpr std::uint16_t VK_RETURN = 0x0D;
inline constexpr std::uint16_t VK_ESCAPE = 0x1B;

using TKeyPressEvent = Method<void(TObject* Sender, char& Key)>;

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  bool operator==(const TSize&) const = default;
};

// What changed in a control, for the backend to follow.
enum class ControlAspect {
  Bounds,   // Left, Top, Width, Height (forms: also the client size)
  Visible,  // Visible, or a parent's visibility
  Text,     // Caption / Text
  Enabled,
  Font,
  Color,
  State,    // kind-specific state: progress position, password char,
            // picture, default button, bevel shape, word wrap, ...
  Focus,    // SetFocus was called
  ZOrder,   // BringToFront / SendToBack
};

class TControl : public TComponent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  // Moves the control into Value's children (nullptr: out of any parent).
  // EInvalidOperation when Value is this control or one of its children.
  virtual void SetParent(TWinControl* Value);

  int Left() const { return bounds_.Left; }
  int Top() const { return bounds_.Top; }
  int Width() const { return bounds_.Width(); }
  int Height() const { return bounds_.Height(); }
  void SetLeft(int Value) { SetBounds(Value, Top(), Width(), Height()); }
  void SetTop(int Value) { SetBounds(Left(), Value, Width(), Height()); }
  void SetWidth(int Value) { SetBounds(Left(), Top(), Value, Height()); }
  void SetHeight(int Value) { SetBounds(Left(), Top(), Width(), Value); }
  // Negative sizes are taken as 0.
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  TRect BoundsRect() const { return bounds_; }
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }
  virtual void SetClientWidth(int Value) { SetWidth(Value); }
  virtual void SetClientHeight(int Value) { SetHeight(Value); }

  TAlign Align() const { return align_; }
  void SetAlign(TAlign Value);
  TAnchors Anchors() const { return anchors_; }
  void SetAnchors(TAnchors Value) { anchors_ = Value; }

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible here and in every parent up to a form that is shown.
  bool Showing() const;

  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool Value);

  // Caption and Text are the same string, as for the class library's
  // controls; labels, buttons and forms call it Caption, edits Text.
  const std::string& Caption() const { return text_; }
  void SetCaption(const std::string& Value) { SetText(Value); }
  const std::string& Text() const { return text_; }
  virtual void SetText(const std::string& Value);

  TFont* Font() const { return font_.get(); }
  void SetFont(TFont* Value) { font_->Assign(Value); }
  // A control whose ParentFont is true takes its parent's font when its own
  // is not set; setting Font clears ParentFont.
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool Value);
  TColor Color() const { return color_; }
  void SetColor(TColor Value);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool Value);

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& Value);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool Value);

  // Sends a message straight to the control's window procedure and returns
  // its Result.
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  // The window procedure; the default handles nothing. Overrides handle
  // their messages and pass the rest to the inherited one.
  virtual void WndProc(TMessage& Message);

  void BringToFront();
  void SendToBack();

  // The form this control is on (the control itself for a form); nullptr
  // when it is on none.
  TForm* ParentForm() const;

  // The toolkit object: GtkWidget* under GTK, nullptr in the headless
  // backend and before the peer exists.
  void* NativeWidget() const { return native_; }
  bool HasPeer() const { return hasPeer_; }

  // Streaming: a control nested in a form description is placed into the
  // enclosing control.
  void SetParentComponent(TComponent* AParent) override;
  TComponent* GetParentComponent() const override;
  bool HasParent() const override { return true; }

  // The font as the control shows it (its own, or the parent's when
  // ParentFont is true); the colour likewise.
  const TFont& EffectiveFont() const;
  TColor EffectiveColor() const;

  // Called by the backend when the toolkit moved or resized the control's
  // peer itself (a window manager moving a form, a maximized window): the
  // bounds follow without being sent back to the toolkit.
  void BoundsChangedByToolkit(const TRect& bounds);

protected:
  // Makes the peer. The default asks the backend for the toolkit object of
  // this control's kind. Called when the control enters a parent that has a
  // peer, or, for a form, when its window is first needed.
  virtual void CreatePeer();
  virtual void DestroyPeer();
  // For CreatePeer overrides: this control's toolkit object is Widget
  // (GtkWidget*); the backend takes a reference, places it in the parent's
  // container and keeps it in step. Under the headless backend Widget is
  // nullptr and only the peer record is made.
  void AdoptNativeWidget(void* Widget);

  // Color, which may be named (clBtnFace) or numeric; it is written when
  // it differs from DefaultColor.
  void DefineProperties(TFiler& Filer) override;
  virtual TColor DefaultColor() const { return clBtnFace; }
  // Tells the backend (when there is a peer) what changed.
  void Changed(ControlAspect aspect);
  void Loaded() override;
  // Called after Font, Color or Caption changed; the default does nothing.
  // Labels recompute their size here.
  virtual void AdjustSize() {}
  // Called when the bounds changed by any means.
  virtual void Resized() {}

  TRect bounds_{0, 0, 0, 0};

private:
  friend class TWinControl;
  friend class TForm;
  friend class TEdit;
  friend class UIBackend;
  void ensurePeer();
  void dropPeer();
  void setBoundsFromAlign(const TRect& r);
  void fontChanged();
  void parentFontChanged();
  void requestAlign();
  bool copyingFont_ = false;

  TWinControl* parent_ = nullptr;
  TAlign align_ = alNone;
  TAnchors anchors_{akLeft, akTop};
  bool visible_ = true;
  bool enabled_ = true;
  std::string text_;
  std::unique_ptr<TFont> font_;
  bool parentFont_ = true;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  std::string hint_;
  bool showHint_ = false;
  void* native_ = nullptr;
  bool hasPeer_ = false;
};

// A control that holds other controls and can have the focus. Its Handle
// is a message-only window of the messages area whose procedure is WndProc,
// so messages posted or sent to it (WM_SYSCOMMAND to a form) arrive there.
class TWinControl : public TControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  // EListError for an index out of range.
  TControl* Controls(int Index) const;
  bool ContainsControl(const TControl* Control) const;

  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int Value);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool Value) { tabStop_ = Value; }

  // Made on first use; lives as long as the control.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  // The control whose Handle is Window, nullptr when none.
  static TWinControl* FindControl(HWND Window);

  virtual bool CanFocus() const;
  virtual void SetFocus();
  bool Focused() const;

  // Lays out the aligned children (see the header comment).
  void AlignControls();

  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

protected:
  void CreatePeer() override;
  void DestroyPeer() override;
  void Resized() override;
  // The client area for alignment, relative to this control; the default is
  // the whole control. Group boxes leave room for their frame and caption.
  virtual TRect AlignClientRect() const;

private:
  friend class TControl;
  void insertControl(TControl* control);
  void removeControl(TControl* control);

  std::vector<TControl*> controls_;
  int tabOrder_ = -1;
  bool tabStop_ = false;
  HWND handle_ = nullptr;
  bool aligning_ = false;
};

// Registers the classes of this area (controls, forms, timer) with the
// class registry so that form descriptions can create them. Idempotent;
// Application.Initialize and TForm's form loading call it.
void RegisterUIClasses();

}  // namespace qorv::platform
