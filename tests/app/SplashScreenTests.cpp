// The portal window's logic under the headless backend: the stored form,
// the splash, the timer's change into the portal window, the scroll-bar
// rule of the first page, and the default title.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/PortalHost.h"
#include "app/SplashScreen.h"
#include "platform/ui/Backend.h"

namespace qorv {
namespace {

using namespace platform;

class SplashScreenTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    SetUIBackend(UIBackendKind::Headless);
    Application->Initialize();
  }

  void SetUp() override {
    NavigateCount = -5;
    form = new TSplashScreen(Application);
    SplashScreen = form;
  }

  void TearDown() override {
    SplashScreen = nullptr;
    form->Free();
  }

  // Runs the loop for a while; bounded, so a timer that never fires ends
  // the wait instead of hanging.
  static void runLoopFor(std::chrono::milliseconds span) {
    auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
      Application->ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }

  HeadlessBrowserPeer& peer() {
    HeadlessBrowserPeer* p = form->WebBrowser1->Headless();
    if (!p) throw std::runtime_error("the browser has no headless peer");
    return *p;
  }

  TSplashScreen* form = nullptr;
};

TEST_F(SplashScreenTest, StoredFormGivesTheSplashSettings) {
  EXPECT_EQ(form->BorderStyle(), bsNone);
  EXPECT_EQ(form->ClientWidth(), 700);
  EXPECT_EQ(form->ClientHeight(), 420);
  EXPECT_EQ(form->Position(), poDesktopCenter);
  EXPECT_EQ(form->Color(), clBtnFace);
  EXPECT_EQ(form->Font()->Name(), "MS Sans Serif");
  EXPECT_EQ(form->Font()->Height(), -11);
  EXPECT_TRUE(form->ShowHint());
  EXPECT_FALSE(form->Icon()->Empty());

  ASSERT_NE(form->Image1, nullptr);
  EXPECT_EQ(form->Image1->Align(), alClient);
  EXPECT_EQ(form->Image1->BoundsRect(), (TRect{0, 0, 700, 420}));
  EXPECT_EQ(form->Image1->Picture()->Width(), 700);
  EXPECT_EQ(form->Image1->Picture()->Height(), 420);

  ASSERT_NE(form->WebBrowser1, nullptr);
  EXPECT_EQ(form->WebBrowser1->BoundsRect(), (TRect{701, 304, 701 + 1016, 304 + 741}));
  EXPECT_EQ(form->WebBrowser1->Align(), alCustom);
  EXPECT_EQ(form->WebBrowser1->TabOrder(), 0);
  EXPECT_TRUE(form->WebBrowser1->OnNavigateComplete2().Assigned());
  EXPECT_TRUE(form->WebBrowser1->OnDocumentComplete().Assigned());

  ASSERT_NE(form->Timer1, nullptr);
  EXPECT_EQ(form->Timer1->Interval(), 3000u);
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_TRUE(form->Timer1->OnTimer().Assigned());
}

TEST_F(SplashScreenTest, ShowingStartsTheSplash) {
  form->WebBrowser1->SetVisible(true);
  form->Image1->SetVisible(false);
  form->Show();
  EXPECT_EQ(NavigateCount, 0);
  EXPECT_FALSE(form->WebBrowser1->Visible());
  EXPECT_FALSE(peer().BrowserVisible);
  EXPECT_TRUE(form->Image1->Visible());
  EXPECT_TRUE(peer().Navigations.empty());
}

TEST_F(SplashScreenTest, TimerTurnsTheSplashIntoThePortalWindow) {
  form->Show();
  TNotifyEvent onTimer = form->Timer1->OnTimer();
  onTimer(form->Timer1);

  EXPECT_EQ(form->BorderStyle(), bsSizeable);
  EXPECT_EQ(form->Position(), poScreenCenter);
  EXPECT_EQ(form->WindowState(), wsMaximized);
  EXPECT_EQ(form->RestoredBounds().Width(), 1012);
  EXPECT_EQ(form->RestoredBounds().Height(), 576);
  EXPECT_EQ(form->Image1, nullptr);
  EXPECT_EQ(form->FindComponent("Image1"), nullptr);
  EXPECT_TRUE(form->WebBrowser1->Visible());
  EXPECT_TRUE(peer().BrowserVisible);
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->WebBrowser1->Align(), alClient);
  EXPECT_EQ(form->WebBrowser1->BoundsRect(), (TRect{0, 0, form->ClientWidth(), form->ClientHeight()}));

  const WideString expected = u"http://" QORV_PORTAL_HOST " ";
  EXPECT_EQ(PortalURL, expected);
  EXPECT_EQ(PortalURL.back(), u' ');
  ASSERT_EQ(peer().Navigations.size(), 1u);
  EXPECT_EQ(peer().Navigations[0], expected);
}

TEST_F(SplashScreenTest, TimerFiresOnceThroughTheLoop) {
  form->Show();
  // The stored three seconds would only slow the test; the rule under test
  // is that the handler disables its timer.
  form->Timer1->SetInterval(20);
  runLoopFor(std::chrono::milliseconds(400));
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->WindowState(), wsMaximized);
  EXPECT_EQ(peer().Navigations.size(), 1u);
}

TEST_F(SplashScreenTest, OnlyAFirstPageWithOneNavigationLosesItsScrollBars) {
  struct Row {
    const char* events;  // N: navigation complete, D: document complete
    std::size_t assignments;
  };
  const std::vector<Row> rows = {
      {"ND", 2},      // a page without frames
      {"NND", 0},     // a page with a frame
      {"NNND", 0},    // two frames
      {"NDND", 2},    // the first page, then a followed link
      {"D", 0},       // a document before any navigation
      {"NDD", 4},     // the same page completing again before any other navigation
  };
  form->Show();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.events);
    form->Hide();
    form->Show();
    peer().Assignments.clear();
    for (const char* e = row.events; *e; ++e) {
      if (*e == 'N') form->WebBrowser1->NavigateComplete2(u"http://127.0.0.1/");
      else form->WebBrowser1->DocumentComplete(u"http://127.0.0.1/");
    }
    ASSERT_EQ(peer().Assignments.size(), row.assignments);
    if (row.assignments >= 2) {
      const auto& a = peer().Assignments;
      EXPECT_EQ(a[0].Path, (std::vector<std::string>{"body"}));
      EXPECT_EQ(a[0].Name, "Scroll");
      EXPECT_EQ(a[0].Value, "no");
      EXPECT_EQ(a[1].Path, (std::vector<std::string>{"documentElement", "style"}));
      EXPECT_EQ(a[1].Name, "overflow");
      EXPECT_EQ(a[1].Value, "hidden");
    }
  }
}

TEST_F(SplashScreenTest, AFailedAssignmentStaysInTheHandler) {
  form->Show();
  peer().FailAssignmentsWith = "no object at Document.body";
  ClearHeadlessLog();
  form->WebBrowser1->NavigateComplete2(u"http://127.0.0.1/plain.txt");
  EXPECT_NO_THROW(form->WebBrowser1->DocumentComplete(u"http://127.0.0.1/plain.txt"));
  EXPECT_TRUE(peer().Assignments.empty());
  // No error box: the application's exception handling was not reached.
  EXPECT_TRUE(HeadlessLog().empty());
}

TEST(ApplicationTitle, IsTheExecutableNameCapitalized) {
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"/opt/qorv/Qorv.exe", "Qorv"},
      {"/opt/qorv/QORV.EXE", "Qorv"},
      {"/usr/bin/Qorv", "Qorv"},
      {"/usr/bin/qorv.tar.gz", "qorv"},
  };
  for (const auto& [path, title] : rows) {
    SCOPED_TRACE(path);
    EXPECT_EQ(TApplication::DefaultTitle(path), title);
  }
}

}  // namespace
}  // namespace qorv
