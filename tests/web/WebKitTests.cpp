// The WebKit peer on a real display (Xvfb): the late-bound assignment's
// nested wait, run from the completed-document event as the portal window
// runs it, against a page whose script keeps the page busy. The program
// ends its loop for good here, so this binary holds this one test.
#include <cstdlib>
#include <fstream>
#include <string>

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

TEST(WebKitPeer, ClosingTheApplicationEndsAWaitingAssignment) {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) GTEST_SKIP() << "no display";
  gchar* dir = g_dir_make_tmp("qorv-web-XXXXXX", nullptr);
  ASSERT_NE(dir, nullptr);
  const std::string folder = dir;
  g_free(dir);
  // The engine's caches go to the test's own folder.
  g_setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), TRUE);
  g_setenv("XDG_DATA_HOME", (folder + "/data").c_str(), TRUE);
  const std::string page = folder + "/busy.html";
  std::ofstream(page) << kBusyPage;

  SetUIBackend(UIBackendKind::Gtk);
  Application->Initialize();
  ASSERT_EQ(CurrentUIBackendKind(), UIBackendKind::Gtk);
  TForm* form = nullptr;
  Application->CreateForm(form);
  auto* browser = new TWebBrowser(form);
  browser->SetParent(form);
  browser->SetAlign(alClient);

  bool handled = false;
  bool watchdogFired = false;
  std::string outcome = "no assignment was tried";
  browser->SetOnDocumentComplete(TWebBrowserDocumentComplete(nullptr, [&](TObject*, const WideString&) {
    if (handled) return;
    handled = true;
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
  }));
  guint watchdog = g_timeout_add(
      8000,
      [](gpointer data) -> gboolean {
        *static_cast<bool*>(data) = true;
        Application->Terminate();
        return G_SOURCE_REMOVE;
      },
      &watchdogFired);

  browser->Navigate(UTF8ToWide("file://" + page));
  Application->Run();
  if (!watchdogFired) g_source_remove(watchdog);

  EXPECT_TRUE(handled);
  EXPECT_FALSE(watchdogFired) << "the wait outlived the application's end";
  EXPECT_EQ(outcome, "the application is closing");
  DoneApplication();
}

}  // namespace
}  // namespace qorv::platform
