// Application object, message boxes, forms, modal loops and window
// messages, on the headless backend.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "UITestSupport.h"

using namespace qorv::platform;
using qorv::platform::testing::RunUntil;
using qorv::platform::testing::Watchdog;

namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new qorv::platform::testing::HeadlessEnvironment);

// Frees a form at the end of a test unless the test freed it already.
struct FormGuard {
  TForm* form;
  ~FormGuard() {
    const auto& forms = Application->Forms();
    if (std::find(forms.begin(), forms.end(), form) != forms.end()) delete form;
  }
};

struct ResponderReset {
  ~ResponderReset() { SetHeadlessResponder({}); }
};

TEST(ApplicationTitle, DefaultRuleFromTheExecutableName) {
  struct Case {
    const char* exe;
    const char* title;
  } cases[] = {
      {"/usr/lib/qorv/Qorv.exe", "Qorv"}, {"QORV.EXE", "Qorv"}, {"qorv", "qorv"},
      {"/opt/x/My.App.bin", "My"},        {"/opt/x/ABC", "Abc"}, {"/opt/x.y/zeltra", "zeltra"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exe);
    EXPECT_EQ(TApplication::DefaultTitle(c.exe), c.title);
  }
  std::string saved = Application->ExeName();
  Application->SetExeName("/tmp/QORV.EXE");
  EXPECT_EQ(Application->Title(), "Qorv");
  Application->SetExeName(saved);
  EXPECT_FALSE(Application->ExeName().empty());
  EXPECT_EQ(Application->ExeName().front(), '/');
}

TEST(MessageBox, ResponderAnswersAndTheLogRecordsTheBox) {
  ResponderReset reset;
  struct Case {
    unsigned flags;
    int given;  // 0: no responder
    int expected;
  } cases[] = {
      {MB_OK, IDOK, IDOK},
      {MB_YESNO | MB_ICONQUESTION, IDNO, IDNO},
      {MB_YESNO | MB_ICONQUESTION, IDYES, IDYES},
      {MB_YESNO, IDOK, IDYES},  // not offered: the default button answers
      {MB_YESNO | MB_DEFBUTTON2, 0, IDNO},
      {MB_OKCANCEL | MB_ICONEXCLAMATION, IDCANCEL, IDCANCEL},
      {MB_ABORTRETRYIGNORE, IDIGNORE, IDIGNORE},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, 0, IDCANCEL},
      {MB_RETRYCANCEL | MB_ICONHAND, 0, IDRETRY},
      {MB_OK | MB_DEFBUTTON2, 0, IDOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "flags 0x" << std::hex << c.flags << " given " << std::dec << c.given);
    MessageBoxRequest seen;
    HeadlessResponder r;
    if (c.given) r.MessageBox = [&](const MessageBoxRequest& box) {
      seen = box;
      return c.given;
    };
    SetHeadlessResponder(r);
    ClearHeadlessLog();
    EXPECT_EQ(Application->MessageBox("The update is not completed.", "Wizard", c.flags), c.expected);
    auto log = HeadlessLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].What, HeadlessLogEntry::MessageBoxShown);
    EXPECT_EQ(log[0].Text, "The update is not completed.");
    EXPECT_EQ(log[0].Caption, "Wizard");
    EXPECT_EQ(log[0].Flags, c.flags);
    EXPECT_EQ(log[0].Answer, c.expected);
    if (c.given) {
      EXPECT_EQ(seen.Flags, c.flags);
      EXPECT_EQ(seen.Caption, "Wizard");
    }
  }
}

TEST(MessageBox, EscapeAnswers) {
  struct Case {
    unsigned flags;
    int escape;
  } cases[] = {{MB_OK, IDOK}, {MB_OKCANCEL, IDCANCEL}, {MB_YESNOCANCEL, IDCANCEL},
               {MB_YESNO, IDYES}, {MB_YESNO | MB_DEFBUTTON2, IDNO}, {MB_RETRYCANCEL, IDCANCEL}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    EXPECT_EQ(MessageBoxEscapeAnswer(c.flags), c.escape);
  }
}

TEST(MessageBox, HandleExceptionShowsAnErrorBoxWithTheTitle) {
  ResponderReset reset;
  ClearHeadlessLog();
  Application->HandleException(EOutOfResources(SOutOfTimers));
  auto log = HeadlessLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].Text, "Not enough timers available.");
  EXPECT_EQ(log[0].Caption, Application->Title());
  EXPECT_EQ(log[0].Flags, MB_OK | MB_ICONERROR);
}

// A dialog like the upgrade prompt and the password dialog: an edit, and
// two buttons with modal results.
struct Dialog {
  TForm* form;
  TEdit* edit;
  TButton* ok;
  TButton* cancel;
  int okClicks = 0;
  explicit Dialog(TModalResult okResult = mrOk, TModalResult cancelResult = mrCancel) {
    form = new TForm(Application);
    form->SetName("Dialog");
    form->SetBorderStyle(bsDialog);
    form->SetPosition(poScreenCenter);
    form->SetClientWidth(297);
    form->SetClientHeight(141);
    edit = new TEdit(form);
    edit->SetParent(form);
    ok = new TButton(form);
    ok->SetParent(form);
    ok->SetDefault(true);
    ok->SetModalResult(okResult);
    ok->OnClick = TNotifyEvent(nullptr, [this](TObject*) { ++okClicks; });
    cancel = new TButton(form);
    cancel->SetParent(form);
    cancel->SetCancel(true);
    cancel->SetModalResult(cancelResult);
  }
};

TEST(ShowModal, ScriptedResponderTypesAndPressesAButton) {
  ResponderReset reset;
  Dialog d(mrYes, mrNo);
  FormGuard guard{d.form};
  std::string textAtClick;
  d.ok->OnClick = TNotifyEvent(nullptr, [&](TObject*) { textAtClick = d.edit->Text(); });
  HeadlessResponder r;
  r.Modal = [&](TForm& f) {
    EXPECT_EQ(&f, d.form);
    EXPECT_TRUE(f.Visible());
    EXPECT_TRUE(f.Modal());
    d.edit->SetText("alice");
    d.ok->Click();
  };
  SetHeadlessResponder(r);
  Watchdog dog(5000, [&] { d.form->SetModalResult(mrAbort); });
  EXPECT_EQ(d.form->ShowModal(), mrYes);
  EXPECT_FALSE(dog.Fired());
  EXPECT_EQ(textAtClick, "alice");
  EXPECT_FALSE(d.form->Visible());
  EXPECT_FALSE(d.form->Modal());
}

TEST(ShowModal, EnterAndEscapeClickTheDefaultAndCancelButtons) {
  ResponderReset reset;
  struct Case {
    std::uint16_t key;
    bool focusCancel;
    TModalResult expected;
  } cases[] = {{VK_RETURN, false, mrOk}, {VK_ESCAPE, false, mrCancel}, {VK_RETURN, true, mrCancel}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "key " << c.key << " focus on cancel " << c.focusCancel);
    Dialog d;
    FormGuard guard{d.form};
    HeadlessResponder r;
    r.Modal = [&](TForm& f) {
      if (c.focusCancel) d.cancel->SetFocus();
      EXPECT_TRUE(f.DialogKey(c.key));
    };
    SetHeadlessResponder(r);
    Watchdog dog(5000, [&] { d.form->SetModalResult(mrAbort); });
    EXPECT_EQ(d.form->ShowModal(), c.expected);
    EXPECT_EQ(d.okClicks, c.expected == mrOk ? 1 : 0);
  }
}

TEST(ShowModal, WithoutResponderEscapeCancels) {
  ResponderReset reset;
  Dialog d;
  FormGuard guard{d.form};
  Watchdog dog(5000, [&] { d.form->SetModalResult(mrAbort); });
  EXPECT_EQ(d.form->ShowModal(), mrCancel);
  EXPECT_FALSE(dog.Fired());
}

TEST(ShowModal, DisabledDefaultButtonIgnoresEnter) {
  ResponderReset reset;
  Dialog d;
  FormGuard guard{d.form};
  d.ok->SetEnabled(false);
  HeadlessResponder r;
  r.Modal = [&](TForm& f) {
    EXPECT_FALSE(f.DialogKey(VK_RETURN));
    f.Close();  // a modal form's Close gives mrCancel
  };
  SetHeadlessResponder(r);
  Watchdog dog(5000, [&] { d.form->SetModalResult(mrAbort); });
  EXPECT_EQ(d.form->ShowModal(), mrCancel);
  EXPECT_EQ(d.okClicks, 0);
}

TEST(ShowModal, VisibleFormCannotBeMadeModal) {
  Dialog d;
  FormGuard guard{d.form};
  d.form->Show();
  EXPECT_THROW(d.form->ShowModal(), EInvalidOperation);
}

TEST(CloseAction, CaFreeFreesTheFormFromTheLoopAfterShowModalReturns) {
  ResponderReset reset;
  Dialog d;
  bool destroyed = false;
  d.form->OnClose = TCloseEvent(nullptr, [](TObject*, TCloseAction& a) { a = caFree; });
  d.form->OnDestroy = TNotifyEvent(nullptr, [&](TObject*) { destroyed = true; });
  HeadlessResponder r;
  r.Modal = [&](TForm&) { d.ok->Click(); };
  SetHeadlessResponder(r);
  Watchdog dog(5000, [&] { d.form->SetModalResult(mrAbort); });
  EXPECT_EQ(d.form->ShowModal(), mrOk);
  // Still there for the caller right after the call ...
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(d.form->ModalResult(), mrOk);
  // ... and gone once the loop has run.
  EXPECT_TRUE(RunUntil([&] { return destroyed; }));
  const auto& forms = Application->Forms();
  EXPECT_EQ(std::find(forms.begin(), forms.end(), d.form), forms.end());
}

TEST(CloseAction, TableOfActionsForAFormThatIsNotMain) {
  struct Case {
    TCloseAction action;
    bool visibleAfter;
    bool freed;
    TWindowState state;
  } cases[] = {{caNone, true, false, wsNormal},
               {caHide, false, false, wsNormal},
               {caMinimize, true, false, wsMinimized},
               {caFree, false, true, wsNormal}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.action));
    auto* f = new TForm(Application);
    FormGuard guard{f};
    bool destroyed = false;
    f->OnClose = TCloseEvent(nullptr, [&](TObject*, TCloseAction& a) {
      EXPECT_EQ(a, caHide);
      a = c.action;
    });
    f->OnDestroy = TNotifyEvent(nullptr, [&](TObject*) { destroyed = true; });
    f->Show();
    f->Close();
    if (c.freed) {
      EXPECT_TRUE(RunUntil([&] { return destroyed; }));
      continue;
    }
    Application->ProcessMessages();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(f->Visible(), c.visibleAfter);
    EXPECT_EQ(f->WindowState(), c.state);
  }
}

TEST(CloseAction, OnCloseQueryCanRefuse) {
  auto* f = new TForm(Application);
  FormGuard guard{f};
  int closes = 0;
  f->OnCloseQuery = TCloseQueryEvent(nullptr, [](TObject*, bool& can) { can = false; });
  f->OnClose = TCloseEvent(nullptr, [&](TObject*, TCloseAction&) { ++closes; });
  f->Show();
  f->Close();
  EXPECT_TRUE(f->Visible());
  EXPECT_EQ(closes, 0);
}

// A form that asks before it lets the close box close it, as the download
// wizard does.
class GuardedForm : public TForm {
public:
  using TForm::TForm;
  int sysCloses = 0;
  bool allow = false;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_SYSCOMMAND && m.WParam == SC_CLOSE) {
      ++sysCloses;
      if (!allow) return;
    }
    TForm::WndProc(m);
  }
};

TEST(SysCommand, CloseReachesAFormThatInterceptsIt) {
  auto* f = new GuardedForm(Application);
  FormGuard guard{f};
  int closes = 0;
  f->OnClose = TCloseEvent(nullptr, [&](TObject*, TCloseAction&) { ++closes; });
  f->Show();
  // Posted, as the wizard's Cancel button does.
  ASSERT_TRUE(PostMessage(f->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0));
  EXPECT_TRUE(RunUntil([&] { return f->sysCloses == 1; }));
  EXPECT_TRUE(f->Visible());
  EXPECT_EQ(closes, 0);
  // Passed on, it closes the form.
  f->allow = true;
  f->Perform(WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(f->sysCloses, 2);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(f->Visible());
}

TEST(SysCommand, OtherCommandsGoToTheDefaultHandling) {
  auto* f = new TForm(Application);
  FormGuard guard{f};
  f->Show();
  f->Perform(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_EQ(f->WindowState(), wsMaximized);
  f->Perform(WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_EQ(f->WindowState(), wsNormal);
}

class TopMostForm : public TForm {
public:
  using TForm::TForm;

protected:
  void CreateParams(TCreateParams& p) override {
    TForm::CreateParams(p);
    p.ExStyle |= WS_EX_TOPMOST;
  }
};

TEST(StayOnTop, CreateParamsAndSetWindowPos) {
  auto* top = new TopMostForm(Application);
  FormGuard g1{top};
  top->Show();
  EXPECT_TRUE(top->StayOnTop());
  EXPECT_EQ(top->Params().ExStyle & WS_EX_TOPMOST, WS_EX_TOPMOST);

  auto* plain = new TForm(Application);
  FormGuard g2{plain};
  plain->SetBounds(10, 20, 300, 200);
  plain->Show();
  EXPECT_FALSE(plain->StayOnTop());
  EXPECT_TRUE(SetWindowPos(plain->Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE));
  EXPECT_TRUE(plain->StayOnTop());
  EXPECT_EQ(plain->BoundsRect(), (TRect{10, 20, 310, 220}));
  EXPECT_FALSE(SetWindowPos(nullptr, HWND_TOPMOST, 0, 0, 0, 0, 0x13));
}

TEST(FormGeometry, SplashTurnsIntoTheMaximizedPortalWindow) {
  SetHeadlessScreen(1024, 768);
  auto* f = new TForm(Application);
  FormGuard guard{f};
  f->SetBorderStyle(bsNone);
  f->SetClientWidth(700);
  f->SetClientHeight(420);
  f->SetPosition(poDesktopCenter);
  auto* image = new TImage(f);
  image->SetParent(f);
  image->SetAlign(alClient);
  auto* browser = new TPanel(f);
  browser->SetParent(f);
  browser->SetBounds(701, 304, 1016, 741);
  browser->SetAlign(alCustom);
  int shows = 0;
  f->OnShow = TNotifyEvent(nullptr, [&](TObject*) { ++shows; });
  f->Show();
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(f->BoundsRect(), (TRect{162, 174, 862, 594}));
  EXPECT_EQ(image->BoundsRect(), (TRect{0, 0, 700, 420}));
  EXPECT_EQ(browser->BoundsRect(), (TRect{701, 304, 1717, 1045}));

  f->SetBorderStyle(bsSizeable);
  EXPECT_EQ(f->ClientWidth(), 700);
  EXPECT_EQ(f->ClientHeight(), 420);
  f->SetWidth(1012);
  f->SetHeight(576);
  f->SetPosition(poScreenCenter);
  EXPECT_EQ(f->BoundsRect(), (TRect{6, 96, 1018, 672}));
  f->SetWindowState(wsMaximized);
  EXPECT_EQ(f->BoundsRect(), (TRect{0, 0, 1024, 768}));
  EXPECT_EQ(f->RestoredBounds(), (TRect{6, 96, 1018, 672}));
  image->Hide();
  delete image;
  EXPECT_EQ(f->ControlCount(), 1);
  browser->SetAlign(alClient);
  EXPECT_EQ(browser->BoundsRect(), (TRect{0, 0, f->ClientWidth(), f->ClientHeight()}));
  EXPECT_EQ(f->ClientWidth(), 1024 - 8);
  EXPECT_EQ(shows, 1);

  // The window follows a restore, and the aligned control with it.
  f->SetWindowState(wsNormal);
  EXPECT_EQ(f->BoundsRect(), (TRect{6, 96, 1018, 672}));
  EXPECT_EQ(browser->Width(), 1004);
  EXPECT_EQ(browser->Height(), 549);
}

TEST(FormGeometry, AlignmentOrderTopBottomLeftClient) {
  auto* f = new TForm(Application);
  FormGuard guard{f};
  f->SetBorderStyle(bsDialog);
  f->SetClientWidth(318);
  f->SetClientHeight(119);
  struct Case {
    TAlign align;
    int w, h;
    TRect expected;
  } cases[] = {
      {alBottom, 10, 45, {0, 74, 318, 119}},
      {alTop, 10, 20, {0, 0, 318, 20}},
      {alLeft, 30, 10, {0, 20, 30, 74}},
      {alClient, 1, 1, {30, 20, 318, 74}},
  };
  std::vector<TControl*> made;
  for (const Case& c : cases) {
    auto* p = new TPanel(f);
    p->SetBevelOuter(bvNone);
    p->SetBounds(5, 5, c.w, c.h);
    p->SetParent(f);
    p->SetAlign(c.align);
    made.push_back(p);
  }
  for (std::size_t i = 0; i < made.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(made[i]->BoundsRect(), cases[i].expected);
  }
  // A taller form keeps the bottom strip at the bottom.
  f->SetClientHeight(200);
  EXPECT_EQ(made[0]->BoundsRect(), (TRect{0, 155, 318, 200}));
  EXPECT_EQ(made[3]->BoundsRect(), (TRect{30, 20, 318, 155}));
}

}  // namespace
