#include "platform/ui/Forms.h"

#include <algorithm>

#include "platform/core/FormStream.h"
#include "platform/core/SysUtils.h"
#include "platform/messages/Messages.h"
#include "platform/system/Process.h"
#include "platform/system/Resources.h"
#include "platform/ui/Backend.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"

namespace qorv::platform {

namespace {

// Posted to a form's own window by Release: free the form once the
// handler that asked has returned.
constexpr UINT CM_RELEASE = 0xB021;

}  // namespace

// ---------------------------------------------------------------------------
// Message boxes.

std::vector<int> MessageBoxButtons(unsigned Flags) {
  switch (Flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

int MessageBoxDefaultAnswer(unsigned Flags) {
  std::vector<int> buttons = MessageBoxButtons(Flags);
  std::size_t index = (Flags & MB_DEFMASK) >> 8;
  return index < buttons.size() ? buttons[index] : buttons[0];
}

int MessageBoxEscapeAnswer(unsigned Flags) {
  std::vector<int> buttons = MessageBoxButtons(Flags);
  if (std::find(buttons.begin(), buttons.end(), IDCANCEL) != buttons.end()) return IDCANCEL;
  if (buttons.size() == 1) return IDOK;
  return MessageBoxDefaultAnswer(Flags);
}

// ---------------------------------------------------------------------------

const EnumTypeInfo& PositionTypeInfo() {
  static const EnumTypeInfo info{"TPosition",
                                 {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter",
                                  "poDesktopCenter", "poMainFormCenter", "poOwnerFormCenter"}};
  return info;
}
const EnumTypeInfo& WindowStateTypeInfo() {
  static const EnumTypeInfo info{"TWindowState", {"wsNormal", "wsMinimized", "wsMaximized"}};
  return info;
}
const EnumTypeInfo& FormStyleTypeInfo() {
  static const EnumTypeInfo info{"TFormStyle", {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"}};
  return info;
}
const EnumTypeInfo& BorderIconTypeInfo() {
  static const EnumTypeInfo info{"TBorderIcon", {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"}};
  return info;
}

TFrameMetrics FrameMetrics(TBorderStyle Style) {
  switch (Style) {
    case bsNone: return {0, 0};
    case bsSingle:
    case bsDialog: return {3, 19};
    case bsSizeable: return {4, 19};
    case bsToolWindow: return {3, 16};
    case bsSizeToolWin: return {4, 16};
  }
  return {0, 0};
}

// ---------------------------------------------------------------------------

const TClassInfo& TForm::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TForm>("TForm", TWinControl::StaticClassInfo())
          .Enumeration("BorderStyle", BorderStyleTypeInfo(), &TForm::BorderStyle, &TForm::SetBorderStyle, bsSizeable)
          .Set("BorderIcons", BorderIconTypeInfo(), &TForm::BorderIcons, &TForm::SetBorderIcons,
               TBorderIcons{biSystemMenu, biMinimize, biMaximize})
          .Enumeration("Position", PositionTypeInfo(), &TForm::Position, &TForm::SetPosition, poDesigned)
          .Enumeration("WindowState", WindowStateTypeInfo(), &TForm::WindowState, &TForm::SetWindowState, wsNormal)
          .Enumeration("FormStyle", FormStyleTypeInfo(), &TForm::FormStyle, &TForm::SetFormStyle, fsNormal)
          .Boolean("KeyPreview", &TForm::KeyPreview, &TForm::SetKeyPreview, false)
          .Object("Icon", [](const TForm& f) { return f.Icon(); })
          .Event("OnCreate", &TForm::OnCreate)
          .Event("OnShow", &TForm::OnShow)
          .Event("OnHide", &TForm::OnHide)
          .Event("OnClose", &TForm::OnClose)
          .Event("OnCloseQuery", &TForm::OnCloseQuery)
          .Event("OnDestroy", &TForm::OnDestroy)
          .Event("OnResize", &TForm::OnResize)
          .Event("OnActivate", &TForm::OnActivate)
          .Build();
  return info;
}

TForm::TForm(TComponent* AOwner) : TWinControl(AOwner), icon_(std::make_unique<TIcon>()) {
  visible_ = false;
  SetParentFont(false);
  bounds_ = {0, 0, 320 + 2 * 4, 240 + 19 + 2 * 4};
  icon_->OnChange = [this] {
    if (HasPeer()) CurrentUIBackend().UpdateForm_impl(*this, FormAspect::Icon);
  };
  Application->addForm(this);
}

TForm::~TForm() {
  // The owned components go while the window still exists, so that their
  // toolkit objects leave it in order.
  DestroyComponents();
  if (HasPeer()) dropPeer();
  icon_->OnChange = nullptr;
  Application->removeForm(this);
}

void TForm::DefineProperties(TFiler& Filer) {
  TWinControl::DefineProperties(Filer);
  // Design-time values of the class library's descriptions; this system
  // lays forms out in pixels as stored.
  for (const char* name : {"PixelsPerInch", "TextHeight", "OldCreateOrder", "Scaled"})
    Filer.DefineProperty(name, [](const FormValue&) {}, [] { return FormValue::Integer(0); }, false);
  // The client size is what descriptions store; it is written here, after
  // BorderStyle, so reading it back gives the same outer size.
  Filer.DefineProperty(
      "ClientWidth", [this](const FormValue& v) { SetClientWidth(static_cast<int>(v.integer)); },
      [this] { return FormValue::Integer(ClientWidth()); }, true);
  Filer.DefineProperty(
      "ClientHeight", [this](const FormValue& v) { SetClientHeight(static_cast<int>(v.integer)); },
      [this] { return FormValue::Integer(ClientHeight()); }, true);
}

void TForm::BeforeDestruction() {
  TWinControl::BeforeDestruction();
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (const std::exception& e) {
      Application->HandleException(e);
    }
  }
}

int TForm::ClientWidth() const {
  TFrameMetrics m = FrameMetrics(borderStyle_);
  return std::max(0, Width() - 2 * m.Border);
}
int TForm::ClientHeight() const {
  TFrameMetrics m = FrameMetrics(borderStyle_);
  return std::max(0, Height() - 2 * m.Border - m.Caption);
}
void TForm::SetClientWidth(int Value) {
  TFrameMetrics m = FrameMetrics(borderStyle_);
  SetWidth(Value + 2 * m.Border);
}
void TForm::SetClientHeight(int Value) {
  TFrameMetrics m = FrameMetrics(borderStyle_);
  SetHeight(Value + 2 * m.Border + m.Caption);
}

void TForm::SetBorderStyle(TBorderStyle Value) {
  if (Value == borderStyle_) return;
  // The client area keeps its size; the frame grows or shrinks around it.
  int cw = ClientWidth(), ch = ClientHeight();
  borderStyle_ = Value;
  TFrameMetrics m = FrameMetrics(Value);
  if (windowState_ == wsNormal) {
    SetBounds(Left(), Top(), cw + 2 * m.Border, ch + 2 * m.Border + m.Caption);
  }
  if (HasPeer()) CurrentUIBackend().UpdateForm_impl(*this, FormAspect::BorderStyle);
  AlignControls();
}

void TForm::SetBorderIcons(TBorderIcons Value) {
  borderIcons_ = Value;
  if (HasPeer()) CurrentUIBackend().UpdateForm_impl(*this, FormAspect::BorderStyle);
}

void TForm::SetPosition(TPosition Value) {
  position_ = Value;
  if (Visible() && HasPeer()) placeOnScreen();
}

void TForm::SetWindowState(TWindowState Value) {
  if (Value == windowState_) return;
  if (windowState_ == wsNormal) restored_ = bounds_;
  windowState_ = Value;
  if (HasPeer() && Visible()) applyWindowState();
}

void TForm::applyWindowState() {
  CurrentUIBackend().UpdateForm_impl(*this, FormAspect::WindowState);
}

void TForm::WindowStateChangedByToolkit(TWindowState State) {
  if (State == windowState_) return;
  if (windowState_ == wsNormal) restored_ = bounds_;
  windowState_ = State;
}

void TForm::SetFormStyle(TFormStyle Value) {
  formStyle_ = Value;
  if (HasPeer()) CurrentUIBackend().UpdateForm_impl(*this, FormAspect::StayOnTop);
}

void TForm::SetTopMost(bool Value) {
  topMost_ = Value;
  if (HasPeer()) CurrentUIBackend().UpdateForm_impl(*this, FormAspect::StayOnTop);
}

bool TForm::StayOnTop() const {
  return formStyle_ == fsStayOnTop || topMost_ || (params_.ExStyle & WS_EX_TOPMOST) != 0;
}

void TForm::CreateParams(TCreateParams& Params) {
  Params.Caption = Caption();
  Params.X = Left();
  Params.Y = Top();
  Params.Width = Width();
  Params.Height = Height();
  Params.Style = 0;
  Params.ExStyle = formStyle_ == fsStayOnTop ? WS_EX_TOPMOST : 0;
}

void TForm::CreatePeer() {
  params_ = TCreateParams();
  CreateParams(params_);
  TWinControl::CreatePeer();
}

void TForm::DestroyPeer() { TWinControl::DestroyPeer(); }

void TForm::Resized() {
  TWinControl::Resized();
  if (OnResize && !ComponentState().Contains(csLoading) && !ComponentState().Contains(csDestroying)) OnResize(this);
}

void TForm::placeOnScreen() {
  TRect area = ScreenWorkArea();
  TRect target = windowState_ == wsNormal ? bounds_ : restored_;
  int w = target.Width(), h = target.Height();
  int x = target.Left, y = target.Top;
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
      x = area.Left + (area.Width() - w) / 2;
      y = area.Top + (area.Height() - h) / 2;
      break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TForm* main = Application->MainForm();
      if (main && main != this && main->Visible()) {
        x = main->Left() + (main->Width() - w) / 2;
        y = main->Top() + (main->Height() - h) / 2;
      } else {
        x = area.Left + (area.Width() - w) / 2;
        y = area.Top + (area.Height() - h) / 2;
      }
      break;
    }
    default:
      return;
  }
  if (windowState_ == wsNormal) SetBounds(x, y, w, h);
  else restored_ = TRect{x, y, x + w, y + h};
}

void TForm::SetVisible(bool Value) {
  if (ComponentState().Contains(csLoading)) {
    // Shown once loading and OnCreate are over.
    showAfterLoad_ = Value;
    return;
  }
  if (Value == Visible()) return;
  if (Value) {
    doShow();
  } else {
    visible_ = false;
    Changed(ControlAspect::Visible);
    if (OnHide) OnHide(this);
  }
}

void TForm::doShow() {
  if (!HasPeer()) ensurePeer();
  placeOnScreen();
  visible_ = true;
  Changed(ControlAspect::Visible);
  if (windowState_ != wsNormal) applyWindowState();
  if (OnShow) OnShow(this);
}

void TForm::Show() {
  SetVisible(true);
  BringToFrontAndActivate();
}

void TForm::Hide() { SetVisible(false); }

void TForm::BringToFrontAndActivate() {
  if (HasPeer() && Visible()) CurrentUIBackend().UpdateForm_impl(*this, FormAspect::Activate);
}

void TForm::SetActiveControl(TWinControl* Control) {
  if (Control && Control->ParentForm() != this) throw EInvalidOperation("Invalid control for the active control");
  activeControl_ = Control;
}

void TForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TForm::Close() {
  if (modal_) {
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    return;
  }
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  if (!canClose) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree:
      Hide();
      Release();
      break;
    case caNone: break;
  }
}

void TForm::Release() {
  if (releasing_) return;
  releasing_ = true;
  PostMessage(Handle(), CM_RELEASE, 0, 0);
}

TModalResult TForm::ShowModal() {
  if (Visible() || modal_) throw EInvalidOperation("Cannot make a visible window modal");
  UIBackend& backend = CurrentUIBackend();
  modal_ = true;
  modalResult_ = mrNone;
  Show();
  backend.UpdateForm_impl(*this, FormAspect::Modal);
  backend.ModalLoopStarted_impl(*this);
  TCloseAction action = caHide;
  for (;;) {
    if (Application->Terminated()) {
      modalResult_ = mrCancel;
      break;
    }
    if (modalResult_ != mrNone) {
      bool canClose = true;
      if (OnCloseQuery) OnCloseQuery(this, canClose);
      if (canClose) {
        action = caHide;
        DoClose(action);
        if (action != caNone) break;
      }
      modalResult_ = mrNone;
    }
    HandleMessage();
  }
  TModalResult result = modalResult_;
  modal_ = false;
  backend.UpdateForm_impl(*this, FormAspect::Modal);
  Hide();
  if (action == caFree) Release();
  return result;
}

bool TForm::DialogKey(std::uint16_t Key) {
  std::function<TButton*(TWinControl*, bool)> find = [&](TWinControl* w, bool wantDefault) -> TButton* {
    for (int i = 0; i < w->ControlCount(); ++i) {
      TControl* c = w->Controls(i);
      if (!c->Visible()) continue;
      if (auto* b = dynamic_cast<TButton*>(c)) {
        if (b->Enabled() && (wantDefault ? b->Default() : b->Cancel())) return b;
      } else if (auto* inner = dynamic_cast<TWinControl*>(c)) {
        if (TButton* found = find(inner, wantDefault)) return found;
      }
    }
    return nullptr;
  };
  if (Key == VK_RETURN) {
    if (auto* focused = dynamic_cast<TButton*>(activeControl_)) {
      if (focused->Enabled() && focused->Showing()) {
        focused->Click();
        return true;
      }
    }
    if (TButton* b = find(this, true)) {
      b->Click();
      return true;
    }
    return false;
  }
  if (Key == VK_ESCAPE) {
    if (TButton* b = find(this, false)) {
      b->Click();
      return true;
    }
    return false;
  }
  return false;
}

void TForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SYSCOMMAND:
      switch (Message.WParam & 0xFFF0) {
        case SC_CLOSE: Close(); break;
        case SC_MINIMIZE: SetWindowState(wsMinimized); break;
        case SC_MAXIMIZE: SetWindowState(wsMaximized); break;
        case SC_RESTORE: SetWindowState(wsNormal); break;
        default: break;
      }
      Message.Result = 0;
      return;
    case WM_CLOSE:
      Close();
      Message.Result = 0;
      return;
    case CM_RELEASE:
      Free();
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

void TForm::InitForm(std::string_view Text, const std::function<void()>& BindFields) {
  RegisterUIClasses();
  ReadComponentFromText(Text, *this);
  finishInit(BindFields);
}

void TForm::finishInit(const std::function<void()>& BindFields) {
  if (BindFields) BindFields();
  AlignControls();
  if (OnCreate) OnCreate(this);
  if (showAfterLoad_) {
    showAfterLoad_ = false;
    Show();
  }
}

void TForm::InitFormResource(const std::string& Name, const std::function<void()>& BindFields) {
  RegisterUIClasses();
  for (const char* type : {"RCDATA", "DFM"}) {
    auto bytes = FindResource(Name, type);
    if (!bytes.empty()) {
      InitForm(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), BindFields);
      return;
    }
  }
  // The program may serve its descriptions from a source of its own.
  if (!ReadComponentResource(Name, *this)) throw EResNotFound("Resource " + Name + " not found");
  finishInit(BindFields);
}

void TForm::fieldError(const std::string& Name) const {
  throw EComponentError("Component " + Name + " of " + ClassName() + " is missing or of another class");
}

// ---------------------------------------------------------------------------

TApplication* Application = new TApplication(nullptr);

const TClassInfo& TApplication::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TApplication>("TApplication", TComponent::StaticClassInfo()).Build();
  return info;
}

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() { DestroyComponents(); }

void TApplication::Initialize() {
  if (initialized_) return;
  InitMessageLoop();
  CurrentUIBackend();
  RegisterUIClasses();
  initialized_ = true;
}

void TApplication::Run() {
  if (!initialized_) Initialize();
  if (mainForm_ && showMainForm_ && !Terminated()) {
    if (mainForm_->WindowState() == wsMinimized) mainForm_->SetVisible(true);
    else mainForm_->Show();
  }
  while (!Terminated()) {
    try {
      RunMessageLoop();
    } catch (const std::exception& e) {
      // A handler's exception ends up here; the loop goes on.
      HandleException(e);
    }
  }
}

void TApplication::Terminate() { TerminateApplication(); }
bool TApplication::Terminated() const { return ApplicationTerminated(); }
void TApplication::ProcessMessages() { platform::ProcessMessages(); }
void TApplication::HandleMessage() { platform::HandleMessage(); }

std::string TApplication::DefaultTitle(const std::string& ExePath) {
  std::string name = ExtractFileName(ExePath);
  std::size_t dot = name.find('.');
  if (dot != std::string::npos) name.resize(dot);
  if (name.size() > 1) name = name.substr(0, 1) + LowerCase(name.substr(1));
  return name;
}

const std::string& TApplication::Title() const {
  if (!titleSet_) {
    title_ = DefaultTitle(ExeName());
    titleSet_ = true;
  }
  return title_;
}

void TApplication::SetTitle(const std::string& Value) {
  title_ = Value;
  titleSet_ = true;
}

const std::string& TApplication::ExeName() const {
  if (exeName_.empty()) exeName_ = GetModuleFileName();
  return exeName_;
}

void TApplication::SetExeName(const std::string& Value) {
  exeName_ = Value;
  titleSet_ = false;
}

int TApplication::MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) {
  return CurrentUIBackend().MessageBox_impl(Text, Caption.empty() ? Title() : Caption, Flags);
}

void TApplication::HandleException(const std::exception& E) {
  if (OnException) {
    OnException(this, E);
    return;
  }
  ShowException(E);
}

void TApplication::ShowException(const std::exception& E) {
  std::string msg = E.what();
  if (auto* ex = dynamic_cast<const Exception*>(&E)) msg = ex->Message();
  if (!msg.empty() && msg.back() > '.') msg += '.';
  MessageBox(msg, Title(), MB_OK | MB_ICONSTOP);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == mainForm_) mainForm_ = nullptr;
}

void TApplication::addForm(TForm* f) { forms_.push_back(f); }

void TApplication::removeForm(TForm* f) {
  forms_.erase(std::remove(forms_.begin(), forms_.end(), f), forms_.end());
  if (mainForm_ == f) mainForm_ = nullptr;
}

void DoneApplication() { Application->DestroyComponents(); }

TRect ScreenWorkArea() { return CurrentUIBackend().WorkArea_impl(); }

BOOL SetWindowPos(HWND Window, HWND InsertAfter, int X, int Y, int CX, int CY, UINT Flags) {
  auto* form = dynamic_cast<TForm*>(TWinControl::FindControl(Window));
  if (!form) return 0;
  if (InsertAfter == HWND_TOPMOST) form->SetTopMost(true);
  else if (InsertAfter == HWND_NOTOPMOST) form->SetTopMost(false);
  int x = (Flags & SWP_NOMOVE) ? form->Left() : X;
  int y = (Flags & SWP_NOMOVE) ? form->Top() : Y;
  int w = (Flags & SWP_NOSIZE) ? form->Width() : CX;
  int h = (Flags & SWP_NOSIZE) ? form->Height() : CY;
  form->SetBounds(x, y, w, h);
  if (Flags & SWP_SHOWWINDOW) form->SetVisible(true);
  if (Flags & SWP_HIDEWINDOW) form->SetVisible(false);
  return 1;
}

// ---------------------------------------------------------------------------

void RegisterUIClasses() {
  static const bool done = [] {
    RegisterClasses({&TControl::StaticClassInfo(), &TWinControl::StaticClassInfo(), &TForm::StaticClassInfo(),
                     &TLabel::StaticClassInfo(), &TButton::StaticClassInfo(), &TEdit::StaticClassInfo(),
                     &TGroupBox::StaticClassInfo(), &TPanel::StaticClassInfo(), &TImage::StaticClassInfo(),
                     &TBevel::StaticClassInfo(), &TTimer::StaticClassInfo(), &TProgressBar::StaticClassInfo(),
                     &TFont::StaticClassInfo(), &TPicture::StaticClassInfo()});
    return true;
  }();
  (void)done;
}

}  // namespace qorv::platform
