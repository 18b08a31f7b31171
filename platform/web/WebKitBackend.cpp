// The WebKitGTK peer of TWebBrowser.
//
// The control's widget is a box holding the web view, so that the browser
// object's Visible can hide the view while the ui backend keeps the box's
// own geometry and visibility in step with the control.
//
// Completed navigations: the main frame's is load-changed COMMITTED; a
// frame's is a user script, injected at document end into every frame,
// which posts the frame's address to a script message handler. The script
// stays silent in the main frame, which is counted by the signal already.
// Script and handler live in a script world of their own, so that a page's
// scripts can neither see the handler nor report completions of their own.
// The main frame's FINISHED is the completed document; WebKit reports it
// after the frames' scripts have posted, as they run before the page's load
// ends.
#include <gtk/gtk.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/ui/Forms.h"
#include "platform/web/WebBrowser.h"
#include "platform/web/WebKitCompat.h"

namespace qorv::platform {

namespace {

constexpr const char* kFrameHandler = "qorvFrameComplete";
constexpr const char* kFrameWorld = "qorv-frames";

constexpr const char* kFrameScript =
    "(function () {\n"
    "  if (window === window.top) return;\n"
    "  try { window.webkit.messageHandlers.qorvFrameComplete.postMessage(String(location.href)); }\n"
    "  catch (e) {}\n"
    "})();\n";

// How long a late-bound assignment waits for the page to answer. A page
// that is busy for longer fails the assignment instead of freezing the
// window.
constexpr guint kAssignTimeoutMs = 10000;

class WebKitPeer : public WebBrowserPeer {
public:
  explicit WebKitPeer(TWebBrowser& browser) : browser_(browser) {
    manager_ = webkit_user_content_manager_new();
    g_signal_connect(manager_, (std::string("script-message-received::") + kFrameHandler).c_str(),
                     G_CALLBACK(&WebKitPeer::onScriptMessage), this);
    webkit_compat::RegisterHandlerInWorld(manager_, kFrameHandler, kFrameWorld);
    WebKitUserScript* script =
        webkit_user_script_new_for_world(kFrameScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                         WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_END, kFrameWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(manager_, script);
    webkit_user_script_unref(script);

    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(manager_));
    g_object_ref_sink(view_);
    g_signal_connect(view_, "load-changed", G_CALLBACK(&WebKitPeer::onLoadChanged), this);

    box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    g_object_ref_sink(box_);
    gtk_box_pack_start(GTK_BOX(box_), GTK_WIDGET(view_), TRUE, TRUE, 0);
    // A show_all on the window must not undo a hidden browser object.
    gtk_widget_set_no_show_all(GTK_WIDGET(view_), TRUE);
  }

  ~WebKitPeer() override {
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handlers_disconnect_by_data(manager_, this);
    webkit_compat::UnregisterHandlerInWorld(manager_, kFrameHandler, kFrameWorld);
    // A page still loading would report into a control that is gone.
    webkit_web_view_stop_loading(view_);
    // The page's process goes with the view: one whose script is busy
    // would otherwise outlive the program until the engine's own watchdog
    // aborts it.
    webkit_web_view_terminate_web_process(view_);
    g_object_unref(view_);
    g_object_unref(box_);
    g_object_unref(manager_);
  }

  GtkWidget* widget() const { return box_; }

  void Navigate(const WideString& url) override {
    // WebKit takes the address as given, trailing blank included: it trims
    // surrounding blanks as a browser's address bar does.
    std::string utf8 = WideToUTF8(url);
    webkit_web_view_load_uri(view_, utf8.c_str());
  }

  void SetBrowserVisible(bool visible) override { gtk_widget_set_visible(GTK_WIDGET(view_), visible); }

  std::string AssignPageProperty(const std::vector<std::string>& path, const std::string& name,
                                 const std::string& value) override {
    std::string script = BuildAssignmentScript(path, name, value);
    // The answer may come after we gave up; the state outlives this call
    // for as long as the callback still holds it.
    auto state = std::make_shared<Evaluation>();
    auto* box = new std::shared_ptr<Evaluation>(state);
    state->cancellable = g_cancellable_new();
    webkit_web_view_evaluate_javascript(view_, script.c_str(), static_cast<gssize>(script.size()), nullptr,
                                        "qorv:late-bound", state->cancellable, &WebKitPeer::onEvaluated, box);
    GSource* timeout = g_timeout_source_new(kAssignTimeoutMs);
    auto* weak = new std::weak_ptr<Evaluation>(state);
    g_source_set_callback(
        timeout,
        [](gpointer data) -> gboolean {
          if (auto s = static_cast<std::weak_ptr<Evaluation>*>(data)->lock()) s->timedOut = true;
          return G_SOURCE_REMOVE;
        },
        weak, [](gpointer data) { delete static_cast<std::weak_ptr<Evaluation>*>(data); });
    g_source_attach(timeout, g_main_context_default());
    // A nested loop, as a synchronous dispatch call would run: timers and
    // sent messages keep being delivered meanwhile. A close of the main
    // window ends it too, or a busy page would keep the closed program up
    // until the timeout.
    while (!state->done && !state->timedOut && !Application->Terminated())
      g_main_context_iteration(g_main_context_default(), TRUE);
    g_source_destroy(timeout);
    g_source_unref(timeout);
    if (!state->done) {
      g_cancellable_cancel(state->cancellable);
      return state->timedOut ? "the page did not answer" : "the application is closing";
    }
    return state->failure;
  }

private:
  struct Evaluation {
    ~Evaluation() {
      if (cancellable) g_object_unref(cancellable);
    }
    GCancellable* cancellable = nullptr;
    bool done = false;
    bool timedOut = false;
    std::string failure;
  };

  static void onEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<Evaluation>> box(static_cast<std::shared_ptr<Evaluation>*>(data));
    Evaluation& state = **box;
    GError* error = nullptr;
    JSCValue* answer = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (!answer) {
      state.failure = error && error->message ? error->message : "the script did not run";
      if (state.failure.empty()) state.failure = "the script did not run";
      if (error) g_error_free(error);
    } else {
      if (jsc_value_is_string(answer)) {
        char* text = jsc_value_to_string(answer);
        state.failure = text ? text : "";
        g_free(text);
      } else {
        state.failure = "the script gave no answer";
      }
      g_object_unref(answer);
    }
    state.done = true;
  }

  static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<WebKitPeer*>(data);
    const char* uri = webkit_web_view_get_uri(view);
    WideString url = UTF8ToWide(uri ? uri : "");
    if (event == WEBKIT_LOAD_COMMITTED) self->browser_.NavigateComplete2(url);
    else if (event == WEBKIT_LOAD_FINISHED) self->browser_.DocumentComplete(url);
  }

  static void onScriptMessage(WebKitUserContentManager*, webkit_compat::ScriptMessage* message, gpointer data) {
    auto* self = static_cast<WebKitPeer*>(data);
    JSCValue* value = webkit_compat::ScriptMessageValue(message);
    if (!value || !jsc_value_is_string(value)) return;
    char* text = jsc_value_to_string(value);
    WideString url = UTF8ToWide(text ? text : "");
    g_free(text);
    self->browser_.NavigateComplete2(url);
  }

  TWebBrowser& browser_;
  WebKitUserContentManager* manager_ = nullptr;
  WebKitWebView* view_ = nullptr;
  GtkWidget* box_ = nullptr;
};

}  // namespace

std::shared_ptr<WebBrowserPeer> CreateWebKitPeer(TWebBrowser& browser, void*& widget) {
  auto peer = std::make_shared<WebKitPeer>(browser);
  widget = peer->widget();
  gtk_widget_show(peer->widget());
  return peer;
}

}  // namespace qorv::platform
