// A short check of the GTK backend on a real display (Xvfb): exact control
// rectangles, mnemonics, Pango word wrap, the close box reaching the
// form as WM_SYSCOMMAND SC_CLOSE, and handlers' exceptions kept out of GTK.
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include "platform/ui/Backend.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "UITestSupport.h"

using namespace qorv::platform;
using qorv::platform::testing::RunUntil;

namespace {

class GtkTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    SetUIBackend(UIBackendKind::Gtk);
    Application->Initialize();
    ASSERT_EQ(CurrentUIBackendKind(), UIBackendKind::Gtk);
  }
};

class CountingForm : public TForm {
public:
  using TForm::TForm;
  int sysCloses = 0;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_SYSCOMMAND && m.WParam == SC_CLOSE) ++sysCloses;
    TForm::WndProc(m);
  }
};

TEST_F(GtkTest, DialogLayoutMnemonicWrapAndCloseBox) {
  auto* f = new CountingForm(Application);
  std::unique_ptr<TForm> guard(f);
  f->SetBorderStyle(bsDialog);
  f->SetClientWidth(297);
  f->SetClientHeight(141);
  f->SetPosition(poScreenCenter);
  auto* ok = new TButton(f);
  ok->SetParent(f);
  ok->SetBounds(114, 68, 75, 23);
  ok->SetCaption("&OK && more");
  auto* label = new TLabel(f);
  label->SetParent(f);
  label->SetBounds(45, 5, 246, 13);
  label->SetWordWrap(true);
  label->SetCaption("Short");
  const int oneLine = label->Height();
  label->SetCaption("Access to remote file \"Qorv.exe\" is password protected. Please enter your username and "
                    "password (received after registration) to continue software upgrade.");
  EXPECT_GT(label->Height(), oneLine * 2);
  EXPECT_EQ(label->Width(), 246);

  int closes = 0;
  f->OnClose = TCloseEvent(nullptr, [&](TObject*, TCloseAction&) { ++closes; });
  f->Show();
  auto* window = static_cast<GtkWidget*>(f->NativeWidget());
  auto* button = static_cast<GtkWidget*>(ok->NativeWidget());
  ASSERT_NE(window, nullptr);
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(RunUntil([&] {
    GtkAllocation a;
    gtk_widget_get_allocation(button, &a);
    return gtk_widget_get_mapped(window) && a.width == 75;
  }));
  GtkAllocation a;
  gtk_widget_get_allocation(button, &a);
  EXPECT_EQ(a.width, 75);
  EXPECT_EQ(a.height, 23);
  EXPECT_EQ(a.x, 114);
  EXPECT_EQ(a.y, 68);
  EXPECT_STREQ(gtk_button_get_label(GTK_BUTTON(button)), "_OK & more");
  EXPECT_TRUE(gtk_button_get_use_underline(GTK_BUTTON(button)));
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));

  gtk_window_close(GTK_WINDOW(window));
  EXPECT_TRUE(RunUntil([&] { return closes == 1; }));
  EXPECT_EQ(f->sysCloses, 1);
  EXPECT_FALSE(f->Visible());
}

// A handler's exception must not unwind through GTK's signal emission: it
// goes to the application's exception handling, as it does for a timer.
TEST_F(GtkTest, HandlerExceptionsGoToTheApplication) {
  auto* f = new TForm(Application);
  std::unique_ptr<TForm> guard(f);
  auto* button = new TButton(f);
  button->SetParent(f);
  button->SetBounds(10, 10, 75, 23);
  button->OnClick = TNotifyEvent(nullptr, [](TObject*) { throw Exception("clicked"); });
  auto* edit = new TEdit(f);
  edit->SetParent(f);
  edit->SetBounds(10, 40, 120, 21);
  edit->OnChange = TNotifyEvent(nullptr, [](TObject*) { throw Exception("changed"); });
  f->Show();
  std::vector<std::string> handled;
  Application->OnException = Method<void(TObject*, const std::exception&)>(
      nullptr, [&](TObject*, const std::exception& e) { handled.push_back(e.what()); });
  struct Row {
    const char* what;
    std::function<void()> act;
  };
  const std::vector<Row> rows = {
      {"clicked", [&] { gtk_button_clicked(GTK_BUTTON(button->NativeWidget())); }},
      {"changed", [&] { gtk_entry_set_text(GTK_ENTRY(edit->NativeWidget()), "typed"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    handled.clear();
    EXPECT_NO_THROW(row.act());
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_NE(handled[0].find(row.what), std::string::npos) << handled[0];
  }
  Application->OnException.Clear();
}

}  // namespace
