// Forms, the application object and message boxes.
//
// Threads: everything here belongs to the main thread (the one that called
// Application->Initialize), except Application->Terminate, which any thread
// may call. Every loop here (Run, ShowModal, MessageBox) is the messages
// area's loop on GLib's default main context, so messages sent from worker
// threads keep being delivered while a modal dialog or a message box is up.
//
// Ownership: a form is owned by its Owner (usually Application), which frees
// it at the latest when the owner goes. Close with the close action caFree,
// and Release, free the form later, from the message loop, once the code on
// the stack has returned; until then the form stays valid.
//
// Form geometry: Left, Top, Width and Height are the outer frame, as on the
// system this layer stands in for; ClientWidth and ClientHeight the area
// inside it. The frame of each border style has fixed nominal metrics
// (FrameMetrics) that both backends use for the conversion, so code that
// computes from Width (the upgrade prompt does) gives the same numbers
// everywhere; the real decorations are the window manager's.
//
// Loading: a derived form calls InitForm (or InitFormResource) at the end of
// its constructor. That reads the form description into the form (setting
// properties, creating the nested components with this form as owner and
// binding event properties to the form's published methods by name), calls
// Loaded on everything, runs the caller's field binder, and fires OnCreate.
// Errors in the description raise the core reader's exceptions (EReadError,
// EClassNotFound, EParserError) out of the constructor.
//
// Closing: Close asks OnCloseQuery, then fires OnClose with the action
// caHide; the handler may change it. caNone keeps the form, caHide hides it,
// caMinimize minimizes it, caFree hides it and frees it later. Closing the
// main form (with any action but caNone) terminates the application and
// leaves the form to DoneApplication. A modal form's Close only sets
// ModalResult to mrCancel when nothing else did; its modal loop then runs
// OnCloseQuery and OnClose, and caNone there keeps the dialog open.
//
// Window messages: the form's Handle (TWinControl) receives WM_SYSCOMMAND;
// the window manager's close button and Alt+F4 arrive as WM_SYSCOMMAND with
// SC_CLOSE, whose default handling (TForm::WndProc) is Close. A form that
// overrides WndProc can intercept it and pass other messages on.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"
#include "platform/ui/StdCtrls.h"

namespace qorv::platform {

inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr WPARAM SC_SIZE = 0xF000;
inline constexpr WPARAM SC_MOVE = 0xF010;
inline constexpr WPARAM SC_MINIMIZE = 0xF020;
inline constexpr WPARAM SC_MAXIMIZE = 0xF030;
inline constexpr WPARAM SC_CLOSE = 0xF060;
inline constexpr WPARAM SC_RESTORE = 0xF120;

// Extended window styles honoured by forms (CreateParams).
inline constexpr DWORD WS_EX_TOPMOST = 0x00000008;
inline constexpr DWORD WS_EX_TOOLWINDOW = 0x00000080;
inline constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

// SetWindowPos.
inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-2));
inline constexpr UINT SWP_NOSIZE = 0x0001;
inline constexpr UINT SWP_NOMOVE = 0x0002;
inline constexpr UINT SWP_NOZORDER = 0x0004;
inline constexpr UINT SWP_NOACTIVATE = 0x0010;
inline constexpr UINT SWP_SHOWWINDOW = 0x0040;
inline constexpr UINT SWP_HIDEWINDOW = 0x0080;

// Message box style bits and answers.
inline constexpr unsigned MB_OK = 0x00000000;
inline constexpr unsigned MB_OKCANCEL = 0x00000001;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x00000002;
inline constexpr unsigned MB_YESNOCANCEL = 0x00000003;
inline constexpr unsigned MB_YESNO = 0x00000004;
inline constexpr unsigned MB_RETRYCANCEL = 0x00000005;
inline constexpr unsigned MB_TYPEMASK = 0x0000000F;
inline constexpr unsigned MB_ICONHAND = 0x00000010;
inline constexpr unsigned MB_ICONERROR = MB_ICONHAND;
inline constexpr unsigned MB_ICONSTOP = MB_ICONHAND;
inline constexpr unsigned MB_ICONQUESTION = 0x00000020;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x00000030;
inline constexpr unsigned MB_ICONWARNING = MB_ICONEXCLAMATION;
inline constexpr unsigned MB_ICONASTERISK = 0x00000040;
inline constexpr unsigned MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr unsigned MB_ICONMASK = 0x000000F0;
inline constexpr unsigned MB_DEFBUTTON1 = 0x00000000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x00000100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x00000200;
inline constexpr unsigned MB_DEFMASK = 0x00000F00;
inline constexpr unsigned MB_APPLMODAL = 0x00000000;
inline constexpr unsigned MB_SYSTEMMODAL = 0x00001000;
inline constexpr unsigned MB_TASKMODAL = 0x00002000;
inline constexpr unsigned MB_SETFOREGROUND = 0x00010000;
inline constexpr unsigned MB_TOPMOST = 0x00040000;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// The answers a message box of the given style offers, in button order,
// and the one its default button gives (MB_DEFBUTTONn past the last button
// selects the first). A button type above 5 is taken as MB_OK.
std::vector<int> MessageBoxButtons(unsigned Flags);
int MessageBoxDefaultAnswer(unsigned Flags);
// The answer of Escape or the close box: IDCANCEL when the box has a Cancel
// button, IDOK for an OK-only box, and for Yes/No and Abort/Retry/Ignore
// boxes (which offer no way out but their buttons) the default answer.
int MessageBoxEscapeAnswer(unsigned Flags);

enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter,
                 poMainFormCenter, poOwnerFormCenter };
const EnumTypeInfo& PositionTypeInfo();
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
const EnumTypeInfo& WindowStateTypeInfo();
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
const EnumTypeInfo& FormStyleTypeInfo();
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
const EnumTypeInfo& BorderIconTypeInfo();

using TCloseEvent = Method<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = Method<void(TObject* Sender, bool& CanClose)>;

// The window-creation parameters a form passes to its backend; overrides
// of CreateParams adjust them. ExStyle's WS_EX_TOPMOST keeps the window
// above ordinary windows.
struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
  HWND WndParent = nullptr;
};

// Nominal frame of a border style: the width of each side and the caption
// bar's height above the client area.
struct TFrameMetrics {
  int Border = 0;
  int Caption = 0;
};
TFrameMetrics FrameMetrics(TBorderStyle Style);

class TForm : public TWinControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TForm(TComponent* AOwner);
  ~TForm() override;

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons Value);
  TPosition Position() const { return position_; }
  // While the form is shown, a centring position moves it at once.
  void SetPosition(TPosition Value);
  TWindowState WindowState() const { return windowState_; }
  void SetWindowState(TWindowState Value);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle Value);
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool Value) { keyPreview_ = Value; }
  TIcon* Icon() const { return icon_.get(); }

  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetClientWidth(int Value) override;
  void SetClientHeight(int Value) override;
  // The bounds the form returns to from wsMaximized or wsMinimized.
  TRect RestoredBounds() const { return restored_; }

  // Shows the form non-modally and brings it to the front.
  void Show();
  void Hide();
  void SetVisible(bool Value) override;
  void Close();
  // Frees the form from the message loop, after the current handler.
  void Release();
  // Shows the form modally: other forms take no input, and a nested loop
  // runs until ModalResult is set (a button with a ModalResult, code, or
  // Close) or the application terminates (then mrCancel). The form is hidden
  // (or freed later, after caFree) when the call returns. EInvalidOperation
  // "Cannot make a visible window modal" when it is already shown.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult Value) { modalResult_ = Value; }
  bool Modal() const { return modal_; }

  // Brings the form to the front and gives it the input focus.
  void BringToFrontAndActivate();
  // The control that has (or will get, when shown) the focus.
  TWinControl* ActiveControl() const { return activeControl_; }
  void SetActiveControl(TWinControl* Control);
  // The Default (Enter) and Cancel (Escape) buttons' job: Enter clicks the
  // focused button if one is focused, else the visible, enabled Default
  // button; Escape clicks the visible, enabled Cancel button. Returns whether
  // a button took the key (false: nothing happened). The GTK backend feeds the keys
  // through it; tests call it directly.
  bool DialogKey(std::uint16_t Key);

  // Kept above other windows: FormStyle fsStayOnTop, WS_EX_TOPMOST from
  // CreateParams, or SetWindowPos with HWND_TOPMOST.
  bool StayOnTop() const;

  void WndProc(TMessage& Message) override;

  // Fired once, at the end of InitForm (after the field binder).
  TNotifyEvent OnCreate;
  // Fired each time the form goes from hidden to shown.
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  // Fired when the form is being freed, before its components go.
  TNotifyEvent OnDestroy;
  TNotifyEvent OnResize;
  TNotifyEvent OnActivate;

  // Called by the backend: the user (or window manager) changed the
  // window state.
  void WindowStateChangedByToolkit(TWindowState State);
  // Called by SetWindowPos.
  void SetTopMost(bool Value);
  // The CreateParams this form's window was made with.
  const TCreateParams& Params() const { return params_; }

protected:
  // Fills the parameters for the form's window; overrides call the
  // inherited one first and then adjust.
  virtual void CreateParams(TCreateParams& Params);
  void CreatePeer() override;
  void DestroyPeer() override;
  void BeforeDestruction() override;
  void Resized() override;
  // ClientWidth and ClientHeight, read after BorderStyle; and the class
  // library's design-time values, which are accepted and ignored.
  void DefineProperties(TFiler& Filer) override;

  void InitForm(std::string_view Text, const std::function<void()>& BindFields = {});
  // The text of the embedded resource Name (type "RCDATA", or "DFM");
  // EResNotFound when absent.
  void InitFormResource(const std::string& Name, const std::function<void()>& BindFields = {});
  // The owned component Name as a T; EComponentError when it is absent or
  // of another class. For field binders.
  template <class T>
  T* Field(const std::string& Name) const {
    T* c = dynamic_cast<T*>(FindComponent(Name));
    if (!c) fieldError(Name);
    return c;
  }

  // Default handling of a close request (WM_SYSCOMMAND SC_CLOSE): Close.
  virtual void DoClose(TCloseAction& Action);

private:
  [[noreturn]] void fieldError(const std::string& Name) const;
  void finishInit(const std::function<void()>& BindFields);
  void placeOnScreen();
  void applyWindowState();
  void doShow();

  TBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_{biSystemMenu, biMinimize, biMaximize};
  TPosition position_ = poDesigned;
  TWindowState windowState_ = wsNormal;
  TFormStyle formStyle_ = fsNormal;
  bool keyPreview_ = false;
  std::unique_ptr<TIcon> icon_;
  TRect restored_;
  TModalResult modalResult_ = mrNone;
  bool modal_ = false;
  bool shownOnce_ = false;
  bool topMost_ = false;
  bool releasing_ = false;
  bool showAfterLoad_ = false;
  TWinControl* activeControl_ = nullptr;
  TCreateParams params_;
};

QORV_DECLARE_EXCEPTION(EResNotFound, Exception);

class TApplication : public TComponent {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  // Chooses the UI backend (see Backend.h), starts it (GTK: gtk_init),
  // makes this thread the main thread of the messages area and registers
  // the UI classes. Calling it again does nothing.
  void Initialize();
  bool Initialized() const { return initialized_; }

  // Creates a T owned by the application into Reference; the first form so
  // created becomes MainForm.
  template <class T>
  void CreateForm(T*& Reference) {
    Reference = new T(this);
    if (!mainForm_) {
      if (TForm* f = dynamic_cast<TForm*>(Reference)) mainForm_ = f;
    }
  }
  TForm* MainForm() const { return mainForm_; }
  void SetMainForm(TForm* Form) { mainForm_ = Form; }

  // Shows the main form (when it is not hidden on purpose: ShowMainForm),
  // then runs the message loop until Terminate (or the main form closes).
  void Run();
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool Value) { showMainForm_ = Value; }
  // Ends Run's loop (and every modal loop); final. Any thread.
  void Terminate();
  bool Terminated() const;
  // Handles everything pending and returns (the messages area's).
  void ProcessMessages();
  // Waits for one piece of work and handles it.
  void HandleMessage();

  // Default: the executable's file name, cut at its first ".", with the first
  // character as it is and the others in lower case ("QORV.EXE" -> "Qorv").
  const std::string& Title() const;
  void SetTitle(const std::string& Value);
  // The full path of the running executable (/proc/self/exe); set by tests.
  const std::string& ExeName() const;
  void SetExeName(const std::string& Value);
  // The title the default rule gives for an executable path.
  static std::string DefaultTitle(const std::string& ExePath);

  // A modal message box; returns the answer (IDOK ...). The caption is the
  // Title when Caption is empty. Answers through the headless responder in
  // the headless backend.
  int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags = MB_OK);
  // Shows E's message in an error box (MB_OK | MB_ICONERROR, the title as
  // caption), or passes it to OnException when that is assigned.
  void HandleException(const std::exception& E);
  void ShowException(const std::exception& E);
  Method<void(TObject* Sender, const std::exception& E)> OnException;

  // Forms in creation order, for the loops and for SetWindowPos.
  const std::vector<TForm*>& Forms() const { return forms_; }

  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  friend class TForm;
  void addForm(TForm* f);
  void removeForm(TForm* f);

  bool initialized_ = false;
  bool showMainForm_ = true;
  TForm* mainForm_ = nullptr;
  mutable std::string title_;
  mutable bool titleSet_ = false;
  mutable std::string exeName_;
  std::vector<TForm*> forms_;
};

// The process's application object, made during static initialisation.
// It is not freed at exit; the program calls DoneApplication after Run to
// free the forms it owns (their OnDestroy handlers run then).
extern TApplication* Application;
void DoneApplication();

// The work area of the screen (the virtual screen in the headless backend).
TRect ScreenWorkArea();

// For forms: HWND_TOPMOST / HWND_NOTOPMOST set or clear keep-above; other
// insert-after values are ignored; position and size apply unless
// SWP_NOMOVE / SWP_NOSIZE. False when Window is not a form's Handle.
BOOL SetWindowPos(HWND Window, HWND InsertAfter, int X, int Y, int CX, int CY, UINT Flags);

}  // namespace qorv::platform
