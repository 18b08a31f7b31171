// The one place where the WebKitGTK API version shows.
//
// webkit2gtk-4.1 (GTK 3) hands script messages to the handler as a
// WebKitJavascriptResult; the GTK 4 API (webkitgtk-6.0, <webkit/webkit.h>)
// hands over the JSCValue itself. A port to that API changes this header
// only. Include only from the backend's .cpp.
#pragma once

#include <webkit2/webkit2.h>

namespace qorv::platform::webkit_compat {

using ScriptMessage = WebKitJavascriptResult;

inline JSCValue* ScriptMessageValue(ScriptMessage* message) { return webkit_javascript_result_get_js_value(message); }

// A message handler seen only by scripts of the script world World, not by
// the page's own scripts (the GTK 4 API takes the world as an argument of
// the plain calls).
inline void RegisterHandlerInWorld(WebKitUserContentManager* manager, const char* name, const char* world) {
  webkit_user_content_manager_register_script_message_handler_in_world(manager, name, world);
}
inline void UnregisterHandlerInWorld(WebKitUserContentManager* manager, const char* name, const char* world) {
  webkit_user_content_manager_unregister_script_message_handler_in_world(manager, name, world);
}

}  // namespace qorv::platform::webkit_compat
