// Closing the main form ends Application->Run. Termination is final for
// the process, so this runs in a binary of its own.
#include <gtest/gtest.h>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "UITestSupport.h"

using namespace qorv::platform;

namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new qorv::platform::testing::HeadlessEnvironment);

TEST(MainForm, ClosingItTerminatesTheApplication) {
  TForm* main = nullptr;
  TForm* second = nullptr;
  Application->CreateForm(main);
  Application->CreateForm(second);
  ASSERT_EQ(Application->MainForm(), main);
  int closes = 0, shows = 0;
  main->OnShow = TNotifyEvent(nullptr, [&](TObject*) { ++shows; });
  main->OnClose = TCloseEvent(nullptr, [&](TObject*, TCloseAction& a) {
    ++closes;
    a = caFree;
  });
  // The close box of the main window, some loop turns after start.
  auto* timer = new TTimer(main);
  timer->SetInterval(30);
  timer->SetOnTimer(TNotifyEvent(nullptr, [&](TObject*) {
    timer->SetEnabled(false);
    PostMessage(main->Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  }));
  bool watchdogFired = false;
  qorv::platform::testing::Watchdog dog(5000, [&] {
    watchdogFired = true;
    Application->Terminate();
  });
  Application->Run();
  EXPECT_FALSE(watchdogFired);
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(shows, 1);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(second->Visible());
  // A modal loop started after termination ends at once with mrCancel.
  TForm* late = new TForm(Application);
  EXPECT_EQ(late->ShowModal(), mrCancel);
  DoneApplication();
  EXPECT_TRUE(Application->Forms().empty());
}

}  // namespace
