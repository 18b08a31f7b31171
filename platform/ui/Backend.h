// The UI backend: the one place where controls meet a toolkit.
//
// One backend serves the whole process, chosen once, on first use:
// SetUIBackend before that fixes it; otherwise the environment variable
// QORV_UI ("headless" or "gtk") decides; otherwise GTK when a display is
// there (DISPLAY or WAYLAND_DISPLAY set and gtk_init_check succeeds), the
// headless backend when not. Unit tests use the headless backend.
//
// The public classes (Controls.h, Forms.h, ...) check their input, keep
// their state and call one *_impl function here for the toolkit work. The
// backend never calls back into a control except through the ...ByToolkit
// and event entry points the controls declare (a click, a typed key, a
// resize by the window manager).
//
// The headless backend shows nothing. It keeps a peer record per control,
// answers message boxes and modal forms through a responder that tests
// install, measures text by a fixed estimate (StdCtrls.h), has a virtual
// screen of 1024 x 768 (or what SetHeadlessScreen says), and records what
// was shown in a log. Its loop is the messages area's GLib loop without GTK.
//
// Threads: main thread only, including the responder calls, which run from
// inside the modal loop or message box call.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"

namespace qorv::platform {

class TForm;

enum class UIBackendKind { Gtk, Headless };

// What changed in a form's window.
enum class FormAspect { BorderStyle, WindowState, StayOnTop, Icon, Activate, Modal };

class UIBackend {
public:
  virtual ~UIBackend() = default;
  virtual UIBackendKind Kind() const = 0;

  // Makes the toolkit object of Control's kind (forms included) and applies
  // all of its state. Under GTK a control's widget goes into its parent's
  // container.
  virtual void CreatePeer_impl(TControl& Control) = 0;
  // Control made its own toolkit object (see TControl::AdoptNativeWidget).
  virtual void AdoptPeer_impl(TControl& Control, void* Widget) = 0;
  virtual void DestroyPeer_impl(TControl& Control) = 0;
  virtual void Update_impl(TControl& Control, ControlAspect Aspect) = 0;
  virtual void UpdateForm_impl(TForm& Form, FormAspect Aspect) = 0;

  // Size of Text in Font; WrapWidth < 0 measures one line per line feed,
  // otherwise the text is wrapped at word boundaries to that width.
  virtual TSize MeasureText_impl(const std::string& Text, const TFont& Font, int WrapWidth) = 0;
  virtual TRect WorkArea_impl() = 0;

  // Runs a modal message box and returns the answer.
  virtual int MessageBox_impl(const std::string& Text, const std::string& Caption, unsigned Flags) = 0;
  // Called once the modal loop of Form has started (the form is shown and
  // the nested loop runs); the headless backend lets its responder act.
  virtual void ModalLoopStarted_impl(TForm& Form) = 0;

protected:
  // For backends: record a control's toolkit object.
  static void SetNativeWidget(TControl& Control, void* Widget) { Control.native_ = Widget; }
};

// EInvalidOperation "The UI backend is already chosen" once one is in use
// and Kind differs.
void SetUIBackend(UIBackendKind Kind);
UIBackend& CurrentUIBackend();
UIBackendKind CurrentUIBackendKind();

// Headless backend: the responder and the log.
struct MessageBoxRequest {
  std::string Text;
  std::string Caption;
  unsigned Flags = 0;
};

struct HeadlessResponder {
  // Returns the answer (IDOK ...). When unset, or when it returns an answer
  // the box does not offer, the box gives its default button's answer.
  std::function<int(const MessageBoxRequest& Box)> MessageBox;
  // Gets the modal form once its loop runs; it may set texts, click buttons,
  // call Close or post messages. When it leaves the form without a
  // ModalResult the loop goes on (a watchdog in the test ends it). When
  // unset, the form gets an Escape (DialogKey(VK_ESCAPE)).
  std::function<void(TForm& Form)> Modal;
};
void SetHeadlessResponder(HeadlessResponder Responder);

struct HeadlessLogEntry {
  enum Kind { MessageBoxShown, FormShown, FormHidden, ModalShown, ModalEnded };
  Kind What = MessageBoxShown;
  std::string Text;     // box text; the form's Name for forms
  std::string Caption;  // box or form caption
  unsigned Flags = 0;   // box flags
  int Answer = 0;       // box answer; the modal result for ModalEnded
};
std::vector<HeadlessLogEntry> HeadlessLog();
void ClearHeadlessLog();
// The virtual screen's work area size.
void SetHeadlessScreen(int Width, int Height);

}  // namespace qorv::platform
