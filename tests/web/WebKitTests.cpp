// The WebKit peer on a real display (Xvfb): the events a page's own script
// cannot forge, and the late-bound assignment's nested wait, run from the
// completed-document event as the portal window runs it, against a page
// whose script keeps the page busy. The last test ends the application's
// loop for good, so it stays last.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

#include "platform/ui/Backend.h"
#include "platform/ui/Forms.h"
#include "platform/web/WebBrowser.h"

namespace qorv::platform {
namespace {

// Busy for a minute once loaded: longer than the assignment's own timeout
// and than the watchdog, so only the application's termination can end
// the wait in time.
const char* kBusyPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>busy</title></head><body><p>busy</p>"
    "<script>window.addEventListener('load', function () {"
    "  setTimeout(function () { var end = Date.now() + 60000; while (Date.now() < end) {} }, 0);"
    "});</script></body></html>";

// A page without frames that claims, in its own script, to be a frame that
// has completed.
const char* kForgingPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>forging</title></head><body><p>forging</p>"
    "<script>try { window.webkit.messageHandlers.qorvFrameComplete.postMessage('forged'); } catch (e) {}"
    "</script></body></html>";

class WebKitPeerTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    static const std::string dir = [] {
      gchar* made = g_dir_make_tmp("qorv-web-XXXXXX", nullptr);
      std::string name = made ? made : "";
      g_free(made);
      // The engine's caches go to the test's own folder.
      g_setenv("XDG_CACHE_HOME", (name + "/cache").c_str(), TRUE);
      g_setenv("XDG_DATA_HOME", (name + "/data").c_str(), TRUE);
      return name;
    }();
    ASSERT_FALSE(dir.empty());
    folder = dir;
    SetUIBackend(UIBackendKind::Gtk);
    Application->Initialize();
    ASSERT_EQ(CurrentUIBackendKind(), UIBackendKind::Gtk);
  }

  std::string writePage(const std::string& name, const char* text) {
    std::string path = folder + "/" + name;
    std::ofstream(path) << text;
    return "file://" + path;
  }

  std::string folder;
};

TEST_F(WebKitPeerTest, APageCannotForgeAFrameCompletion) {
  auto* form = new TForm(Application);
  auto* browser = new TWebBrowser(form);
  browser->SetParent(form);
  browser->SetAlign(alClient);
  std::vector<std::string> navigations;
  bool completed = false;
  browser->SetOnNavigateComplete2(TWebBrowserNavigateComplete2(
      nullptr, [&](TObject*, const WideString& url) { navigations.push_back(WideToUTF8(url)); }));
  browser->SetOnDocumentComplete(TWebBrowserDocumentComplete(nullptr, [&](TObject*, const WideString&) {
    completed = true;
  }));
  form->Show();
  const std::string url = writePage("forging.html", kForgingPage);
  browser->Navigate(UTF8ToWide(url));
  bool late = false;
  guint watchdog = g_timeout_add(
      8000,
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        return G_SOURCE_REMOVE;
      },
      &late);
  while (!completed && !late) Application->HandleMessage();
  if (!late) g_source_remove(watchdog);
  ASSERT_TRUE(completed) << "the page did not complete";
  EXPECT_EQ(navigations, (std::vector<std::string>{url}));
  form->Free();
}

TEST_F(WebKitPeerTest, ClosingTheApplicationEndsAWaitingAssignment) {
  const std::string page = writePage("busy.html", kBusyPage);
  TForm* form = nullptr;
  Application->CreateForm(form);
  auto* browser = new TWebBrowser(form);
  browser->SetParent(form);
  browser->SetAlign(alClient);

  bool handled = false;
  bool watchdogFired = false;
  std::string outcome = "no assignment was tried";
  // The assignment runs a moment after the document completed, once the
  // page's script has surely started its busy loop.
  std::function<void()> assign = [&] {
    // The user closes the window while the assignment waits.
    g_timeout_add(500, [](gpointer) -> gboolean {
      Application->Terminate();
      return G_SOURCE_REMOVE;
    }, nullptr);
    try {
      browser->OleObject().Get("Document").Get("body").Set("Scroll", "no");
      outcome = "the assignment was made";
    } catch (const EOleError& e) {
      outcome = e.Message();
    }
  };
  browser->SetOnDocumentComplete(TWebBrowserDocumentComplete(nullptr, [&](TObject*, const WideString&) {
    if (handled) return;
    handled = true;
    g_timeout_add(500, [](gpointer data) -> gboolean {
      (*static_cast<std::function<void()>*>(data))();
      return G_SOURCE_REMOVE;
    }, &assign);
  }));
  guint watchdog = g_timeout_add(
      8000,
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        Application->Terminate();
        return G_SOURCE_REMOVE;
      },
      &watchdogFired);

  browser->Navigate(UTF8ToWide(page));
  Application->Run();
  if (!watchdogFired) g_source_remove(watchdog);

  EXPECT_TRUE(handled);
  EXPECT_FALSE(watchdogFired) << "the wait outlived the application's end";
  EXPECT_EQ(outcome, "the application is closing");
  DoneApplication();
}

}  // namespace
}  // namespace qorv::platform
