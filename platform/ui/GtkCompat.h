// GTK 3 version differences, in one place. Only the GTK backend includes it.
#pragma once

#include <gtk/gtk.h>

namespace qorv::platform::gtkcompat {

// The work area of the monitor that holds most of the screen's windows:
// the primary monitor where the toolkit knows one, else the first.
inline GdkRectangle WorkArea() {
  GdkRectangle r{0, 0, 1024, 768};
#if GTK_CHECK_VERSION(3, 22, 0)
  GdkDisplay* display = gdk_display_get_default();
  if (!display) return r;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  if (monitor) gdk_monitor_get_workarea(monitor, &r);
#else
  GdkScreen* screen = gdk_screen_get_default();
  if (screen) gdk_screen_get_monitor_workarea(screen, gdk_screen_get_primary_monitor(screen), &r);
#endif
  return r;
}

}  // namespace qorv::platform::gtkcompat
