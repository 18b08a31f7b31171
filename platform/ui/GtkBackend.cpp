// The GTK 3 backend. Every control's peer is one widget placed by a
// container of our own (QorvFixed) that gives each child exactly the
// rectangle the control asks for, whatever the theme's minimum sizes, so
// that the pixel layouts of the form descriptions hold. Main thread only.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/GtkCompat.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/UIInternal.h"

namespace {

// ---------------------------------------------------------------------------
// QorvFixed: a GtkFixed whose children get the rectangle stored with them.

struct ChildRect {
  int x, y, w, h;
};

const char* const kRectKey = "qorv-rect";

struct QorvFixed {
  GtkFixed parent;
};
struct QorvFixedClass {
  GtkFixedClass parent_class;
};

GType qorv_fixed_get_type();
gpointer qorv_fixed_parent_class = nullptr;

void qorv_fixed_size_allocate(GtkWidget* widget, GtkAllocation* allocation) {
  GTK_WIDGET_CLASS(qorv_fixed_parent_class)->size_allocate(widget, allocation);
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* l = children; l; l = l->next) {
    GtkWidget* child = GTK_WIDGET(l->data);
    if (!gtk_widget_get_visible(child)) continue;
    auto* r = static_cast<ChildRect*>(g_object_get_data(G_OBJECT(child), kRectKey));
    if (!r) continue;
    // GTK wants a size request before an allocation; the answer is not used.
    int minW = 0, minH = 0;
    gtk_widget_get_preferred_width(child, &minW, nullptr);
    gtk_widget_get_preferred_height(child, &minH, nullptr);
    GtkAllocation a{allocation->x + r->x, allocation->y + r->y, std::max(r->w, 1), std::max(r->h, 1)};
    if (gtk_widget_get_has_window(widget)) {
      a.x = r->x;
      a.y = r->y;
    }
    gtk_widget_size_allocate(child, &a);
  }
  g_list_free(children);
}

void qorv_fixed_preferred_zero(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = 0;
  *natural = 0;
}

void qorv_fixed_class_init(gpointer klass, gpointer) {
  qorv_fixed_parent_class = g_type_class_peek_parent(klass);
  GtkWidgetClass* wc = GTK_WIDGET_CLASS(klass);
  wc->size_allocate = qorv_fixed_size_allocate;
  wc->get_preferred_width = qorv_fixed_preferred_zero;
  wc->get_preferred_height = qorv_fixed_preferred_zero;
}

GType qorv_fixed_get_type() {
  static GType type = 0;
  if (!type) {
    GTypeInfo info{};
    info.class_size = sizeof(QorvFixedClass);
    info.class_init = qorv_fixed_class_init;
    info.instance_size = sizeof(QorvFixed);
    type = g_type_register_static(GTK_TYPE_FIXED, "QorvFixed", &info, GTypeFlags(0));
  }
  return type;
}

// Signal handlers as GCallback; a function, unlike the macro, takes
// lambdas with commas in them.
template <class F>
GCallback cb(F* f) {
  return reinterpret_cast<GCallback>(f);
}

GtkWidget* newFixed() { return GTK_WIDGET(g_object_new(qorv_fixed_get_type(), nullptr)); }

void setRect(GtkWidget* w, int x, int y, int width, int height) {
  auto* r = static_cast<ChildRect*>(g_object_get_data(G_OBJECT(w), kRectKey));
  if (!r) {
    r = new ChildRect{};
    g_object_set_data_full(G_OBJECT(w), kRectKey, r, [](gpointer p) { delete static_cast<ChildRect*>(p); });
  }
  *r = ChildRect{x, y, width, height};
  if (GtkWidget* parent = gtk_widget_get_parent(w)) gtk_widget_queue_resize(parent);
}

// "&x" marks a mnemonic; GTK marks it with "_".
std::string mnemonic(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '&') {
      if (i + 1 < s.size() && s[i + 1] == '&') {
        out += '&';
        ++i;
      } else {
        out += '_';
      }
    } else if (c == '_') {
      out += "__";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

namespace qorv::platform::detail {

namespace {

PangoFontDescription* fontDescription(const TFont& f) {
  PangoFontDescription* d = pango_font_description_new();
  pango_font_description_set_family(d, f.Name().c_str());
  int px = f.Height() < 0 ? -f.Height() : std::max(1, f.Height() * 3 / 4);
  pango_font_description_set_absolute_size(d, px * PANGO_SCALE);
  pango_font_description_set_weight(d, f.Style().Contains(fsBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(d, f.Style().Contains(fsItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  return d;
}

// The toolkit's callbacks run the controls' handlers. An exception must not
// unwind through GTK's C frames, which would leave the signal emission and
// the main loop half done; it goes to the application's exception handling
// here, as a timer's does.
template <class F>
auto contained(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const std::exception& e) {
    try {
      Application->HandleException(e);
    } catch (...) {
      std::fprintf(stderr, "Qorv: the handling of an exception in a toolkit event failed\n");
    }
  } catch (...) {
    std::fprintf(stderr, "Qorv: an exception of unknown type in a toolkit event was dropped\n");
  }
  return decltype(f())();
}

struct Peer {
  GtkWidget* widget = nullptr;     // placed in the parent's container; the window for forms
  GtkWidget* container = nullptr;  // where children go
  GtkWidget* frame = nullptr;      // group box frame
  GdkPixbuf* pixbuf = nullptr;     // image cache
  bool adopted = false;
};

class GtkBackend final : public UIBackend {
public:
  GtkBackend() {
    GtkCssProvider* css = gtk_css_provider_new();
    // Compact buttons and entries, so that 75 x 23 buttons and 21-pixel
    // edits show their text as the layouts expect.
    gtk_css_provider_load_from_data(css,
                                    "button { min-height: 0; min-width: 0; padding: 0 4px; }"
                                    "entry { min-height: 0; padding: 0 3px; }"
                                    "progressbar trough, progressbar progress { min-height: 4px; }",
                                    -1, nullptr);
    if (GdkScreen* screen = gdk_screen_get_default())
      gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(css), GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
  }

  UIBackendKind Kind() const override { return UIBackendKind::Gtk; }

  void CreatePeer_impl(TControl& c) override {
    Peer p;
    if (auto* form = dynamic_cast<TForm*>(&c)) {
      createWindow(*form, p);
    } else if (auto* label = dynamic_cast<TLabel*>(&c)) {
      p.widget = gtk_label_new(nullptr);
      gtk_label_set_use_underline(GTK_LABEL(p.widget), label->ShowAccelChar());
    } else if (dynamic_cast<TButton*>(&c)) {
      p.widget = gtk_button_new_with_mnemonic("");
      g_signal_connect(p.widget, "clicked", cb(+[](GtkButton*, gpointer d) {
                         contained([d] { static_cast<TButton*>(d)->Click(); });
                       }),
                       &c);
    } else if (dynamic_cast<TEdit*>(&c)) {
      p.widget = gtk_entry_new();
      g_signal_connect(p.widget, "changed", cb(+[](GtkEditable* e, gpointer d) {
                         contained([e, d] {
                           static_cast<TEdit*>(d)->TextChangedByToolkit(gtk_entry_get_text(GTK_ENTRY(e)));
                         });
                       }),
                       &c);
      g_signal_connect(p.widget, "key-press-event", G_CALLBACK(entryKey), &c);
      g_signal_connect(p.widget, "activate", cb(+[](GtkEntry*, gpointer d) {
                         contained([d] {
                           if (TForm* f = static_cast<TEdit*>(d)->ParentForm()) f->DialogKey(VK_RETURN);
                         });
                       }),
                       &c);
    } else if (dynamic_cast<TProgressBar*>(&c)) {
      p.widget = gtk_progress_bar_new();
    } else if (dynamic_cast<TGroupBox*>(&c)) {
      p.widget = newFixed();
      p.container = p.widget;
      p.frame = gtk_frame_new(nullptr);
      gtk_fixed_put(GTK_FIXED(p.widget), p.frame, 0, 0);
      gtk_widget_show(p.frame);
    } else if (dynamic_cast<TWinControl*>(&c)) {
      p.widget = newFixed();
      p.container = p.widget;
      gtk_widget_set_has_window(p.widget, FALSE);
      g_signal_connect(p.widget, "draw", G_CALLBACK(drawPanel), &c);
    } else {
      // Images, bevels and other painted controls.
      p.widget = gtk_drawing_area_new();
      g_signal_connect(p.widget, "draw", G_CALLBACK(drawGraphic), this);
      g_object_set_data(G_OBJECT(p.widget), "qorv-control", &c);
    }
    g_object_ref_sink(p.widget);
    SetNativeWidget(c, p.widget);
    peers_[&c] = p;
    if (!dynamic_cast<TForm*>(&c)) place(c);
    for (ControlAspect a : {ControlAspect::Text, ControlAspect::Font, ControlAspect::Enabled, ControlAspect::State,
                            ControlAspect::Bounds, ControlAspect::Visible})
      Update_impl(c, a);
  }

  void AdoptPeer_impl(TControl& c, void* widget) override {
    Peer p;
    p.widget = GTK_WIDGET(widget);
    p.adopted = true;
    g_object_ref_sink(p.widget);
    SetNativeWidget(c, p.widget);
    peers_[&c] = p;
    place(c);
    Update_impl(c, ControlAspect::Bounds);
    Update_impl(c, ControlAspect::Visible);
  }

  void DestroyPeer_impl(TControl& c) override {
    auto it = peers_.find(&c);
    if (it == peers_.end()) return;
    Peer p = it->second;
    peers_.erase(it);
    if (p.pixbuf) g_object_unref(p.pixbuf);
    g_signal_handlers_disconnect_matched(p.widget, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr, &c);
    gtk_widget_destroy(p.widget);
    g_object_unref(p.widget);
  }

  void Update_impl(TControl& c, ControlAspect aspect) override {
    auto it = peers_.find(&c);
    if (it == peers_.end()) return;
    Peer& p = it->second;
    auto* form = dynamic_cast<TForm*>(&c);
    switch (aspect) {
      case ControlAspect::Bounds:
        if (form) {
          applyFormSize(*form, p);
          gtk_window_move(GTK_WINDOW(p.widget), form->Left(), form->Top());
        } else {
          setRect(p.widget, c.Left(), c.Top(), c.Width(), c.Height());
          if (p.frame) {
            int top = c.EffectiveFont().PixelHeight() / 2;
            setRect(p.frame, 0, top, c.Width(), std::max(0, c.Height() - top));
          }
          if (p.pixbuf) {
            g_object_unref(p.pixbuf);
            p.pixbuf = nullptr;
          }
        }
        break;
      case ControlAspect::Visible:
        // A form's window appears only when the form is shown; a control's
        // widget follows its Visible.
        if (c.Visible()) gtk_widget_show(p.widget);
        else gtk_widget_hide(p.widget);
        break;
      case ControlAspect::Text: {
        const std::string& t = c.Caption();
        if (form) gtk_window_set_title(GTK_WINDOW(p.widget), windowTitle(t).c_str());
        else if (auto* l = dynamic_cast<TLabel*>(&c))
          l->ShowAccelChar() ? gtk_label_set_text_with_mnemonic(GTK_LABEL(p.widget), mnemonic(t).c_str())
                             : gtk_label_set_text(GTK_LABEL(p.widget), t.c_str());
        else if (dynamic_cast<TButton*>(&c))
          gtk_button_set_label(GTK_BUTTON(p.widget), mnemonic(t).c_str());
        else if (dynamic_cast<TEdit*>(&c)) {
          if (t != gtk_entry_get_text(GTK_ENTRY(p.widget))) gtk_entry_set_text(GTK_ENTRY(p.widget), t.c_str());
        } else if (p.frame)
          gtk_frame_set_label(GTK_FRAME(p.frame), t.empty() ? nullptr : t.c_str());
        else
          gtk_widget_queue_draw(p.widget);
        break;
      }
      case ControlAspect::Enabled:
        gtk_widget_set_sensitive(p.widget, c.Enabled());
        break;
      case ControlAspect::Font:
        applyFont(c, p);
        break;
      case ControlAspect::Color:
        gtk_widget_queue_draw(p.widget);
        break;
      case ControlAspect::State:
        applyState(c, p);
        break;
      case ControlAspect::Focus:
        gtk_widget_grab_focus(p.widget);
        break;
      case ControlAspect::ZOrder:
        if (GtkWidget* parent = gtk_widget_get_parent(p.widget); parent && !form) {
          g_object_ref(p.widget);
          gtk_container_remove(GTK_CONTAINER(parent), p.widget);
          gtk_fixed_put(GTK_FIXED(parent), p.widget, c.Left(), c.Top());
          g_object_unref(p.widget);
        }
        break;
    }
  }

  void UpdateForm_impl(TForm& f, FormAspect aspect) override {
    auto it = peers_.find(&f);
    if (it == peers_.end()) return;
    Peer& p = it->second;
    GtkWindow* w = GTK_WINDOW(p.widget);
    switch (aspect) {
      case FormAspect::BorderStyle:
        applyBorder(f, p);
        applyFormSize(f, p);
        break;
      case FormAspect::WindowState:
        switch (f.WindowState()) {
          case wsMaximized:
            gtk_window_maximize(w);
            insistOnMaximize(w);
            break;
          case wsMinimized: gtk_window_iconify(w); break;
          case wsNormal:
            g_object_set_data(G_OBJECT(w), kWantMaximized, nullptr);
            gtk_window_unmaximize(w);
            gtk_window_deiconify(w);
            break;
        }
        break;
      case FormAspect::StayOnTop:
        gtk_window_set_keep_above(w, f.StayOnTop());
        break;
      case FormAspect::Icon:
        applyIcon(f, p);
        break;
      case FormAspect::Activate:
        gtk_window_present(w);
        break;
      case FormAspect::Modal: {
        gtk_window_set_modal(w, f.Modal());
        TForm* main = Application->MainForm();
        if (f.Modal() && main && main != &f && main->HasPeer())
          gtk_window_set_transient_for(w, GTK_WINDOW(main->NativeWidget()));
        break;
      }
    }
  }

  TSize MeasureText_impl(const std::string& text, const TFont& font, int wrapWidth) override {
    PangoContext* ctx = gdk_pango_context_get();
    PangoLayout* layout = pango_layout_new(ctx);
    PangoFontDescription* d = fontDescription(font);
    pango_layout_set_font_description(layout, d);
    pango_layout_set_text(layout, text.c_str(), -1);
    if (wrapWidth >= 0) {
      pango_layout_set_width(layout, std::max(wrapWidth, 1) * PANGO_SCALE);
      pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    pango_font_description_free(d);
    g_object_unref(layout);
    g_object_unref(ctx);
    return TSize{w, std::max(h, font.PixelHeight())};
  }

  TRect WorkArea_impl() override {
    GdkRectangle r = gtkcompat::WorkArea();
    return TRect{r.x, r.y, r.x + r.width, r.y + r.height};
  }

  int MessageBox_impl(const std::string& text, const std::string& caption, unsigned flags) override {
    GtkMessageType type = GTK_MESSAGE_OTHER;
    switch (flags & MB_ICONMASK) {
      case MB_ICONHAND: type = GTK_MESSAGE_ERROR; break;
      case MB_ICONQUESTION: type = GTK_MESSAGE_QUESTION; break;
      case MB_ICONEXCLAMATION: type = GTK_MESSAGE_WARNING; break;
      case MB_ICONASTERISK: type = GTK_MESSAGE_INFO; break;
      default: break;
    }
    GtkWindow* parent = nullptr;
    for (TForm* f : Application->Forms())
      if (f->Visible() && f->HasPeer()) parent = GTK_WINDOW(f->NativeWidget());
    GtkWidget* dlg = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL, type, GTK_BUTTONS_NONE, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dlg), caption.c_str());
    static const std::map<int, const char*> labels{{IDOK, "_OK"},       {IDCANCEL, "_Cancel"}, {IDABORT, "_Abort"},
                                                   {IDRETRY, "_Retry"}, {IDIGNORE, "_Ignore"}, {IDYES, "_Yes"},
                                                   {IDNO, "_No"}};
    for (int id : MessageBoxButtons(flags)) gtk_dialog_add_button(GTK_DIALOG(dlg), labels.at(id), id);
    gtk_dialog_set_default_response(GTK_DIALOG(dlg), MessageBoxDefaultAnswer(flags));
    if (flags & (MB_TOPMOST | MB_SYSTEMMODAL)) gtk_window_set_keep_above(GTK_WINDOW(dlg), TRUE);
    // gtk_dialog_run iterates the default main context, so sent messages
    // and timers keep being delivered while the box is up.
    int response = gtk_dialog_run(GTK_DIALOG(dlg));
    gtk_widget_destroy(dlg);
    if (response <= 0) return MessageBoxEscapeAnswer(flags);
    return response;
  }

  void ModalLoopStarted_impl(TForm&) override {}

private:
  void createWindow(TForm& f, Peer& p) {
    p.widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    p.container = newFixed();
    gtk_container_add(GTK_CONTAINER(p.widget), p.container);
    gtk_widget_show(p.container);
    g_signal_connect(p.widget, "delete-event", cb(+[](GtkWidget*, GdkEvent*, gpointer d) -> gboolean {
                       // The form decides: the close box is a WM_SYSCOMMAND
                       // SC_CLOSE, which a form may intercept.
                       contained([d] { static_cast<TForm*>(d)->Perform(WM_SYSCOMMAND, SC_CLOSE, 0); });
                       return TRUE;
                     }),
                     &f);
    g_signal_connect(p.widget, "configure-event", cb(+[](GtkWidget* w, GdkEventConfigure*, gpointer d) -> gboolean {
                       auto* form = static_cast<TForm*>(d);
                       int x = 0, y = 0, cw = 0, ch = 0;
                       gtk_window_get_position(GTK_WINDOW(w), &x, &y);
                       gtk_window_get_size(GTK_WINDOW(w), &cw, &ch);
                       TFrameMetrics m = FrameMetrics(form->BorderStyle());
                       contained([&] {
                         form->BoundsChangedByToolkit(
                             TRect{x, y, x + cw + 2 * m.Border, y + ch + 2 * m.Border + m.Caption});
                       });
                       return FALSE;
                     }),
                     &f);
    g_signal_connect(p.widget, "window-state-event",
                     cb(+[](GtkWidget*, GdkEventWindowState* e, gpointer d) -> gboolean {
                       auto* form = static_cast<TForm*>(d);
                       if (e->new_window_state & GDK_WINDOW_STATE_ICONIFIED) form->WindowStateChangedByToolkit(wsMinimized);
                       else if (e->new_window_state & GDK_WINDOW_STATE_MAXIMIZED)
                         form->WindowStateChangedByToolkit(wsMaximized);
                       else
                         form->WindowStateChangedByToolkit(wsNormal);
                       return FALSE;
                     }),
                     &f);
    g_signal_connect(p.widget, "key-press-event", cb(+[](GtkWidget* w, GdkEventKey* e, gpointer d) -> gboolean {
                       auto* form = static_cast<TForm*>(d);
                       if (e->keyval == GDK_KEY_Escape)
                         return contained([form] { return form->DialogKey(VK_ESCAPE); }) ? TRUE : FALSE;
                       if (e->keyval == GDK_KEY_Return || e->keyval == GDK_KEY_KP_Enter) {
                         // A focused button takes Enter itself.
                         GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(w));
                         if (focus && GTK_IS_BUTTON(focus)) return FALSE;
                         if (focus && GTK_IS_ENTRY(focus)) return FALSE;
                         return contained([form] { return form->DialogKey(VK_RETURN); }) ? TRUE : FALSE;
                       }
                       return FALSE;
                     }),
                     &f);
    g_signal_connect(p.widget, "set-focus", cb(+[](GtkWindow*, GtkWidget* w, gpointer d) {
                       auto* form = static_cast<TForm*>(d);
                       TWinControl* found = nullptr;
                       for (int i = 0; w && i < form->ComponentCount(); ++i) {
                         auto* wc = dynamic_cast<TWinControl*>(form->Components(i));
                         if (wc && wc->NativeWidget() == w) found = wc;
                       }
                       if (found) contained([form, found] { form->SetActiveControl(found); });
                     }),
                     &f);
    const TCreateParams& params = f.Params();
    gtk_window_set_title(GTK_WINDOW(p.widget), windowTitle(params.Caption).c_str());
    applyBorder(f, p);
    gtk_window_set_keep_above(GTK_WINDOW(p.widget), f.StayOnTop());
    applyIcon(f, p);
  }

  // A window that has just become resizable still carries its fixed-size
  // hints until GTK's next layout pass, and a window manager refuses to
  // maximize it then. The request is repeated on a short timer until the
  // window is maximized, the form asks for another state, or the window goes.
  // A form without a caption still needs a name in the window manager's
  // lists and the task bar: the application's title, as a task bar shows it.
  static std::string windowTitle(const std::string& caption) {
    return caption.empty() ? Application->Title() : caption;
  }

  static constexpr const char* kWantMaximized = "qorv-want-maximized";
  static void insistOnMaximize(GtkWindow* w) {
    g_object_set_data(G_OBJECT(w), kWantMaximized, GINT_TO_POINTER(1));
    struct Retry {
      GtkWindow* window;
      int left;
    };
    auto* retry = new Retry{GTK_WINDOW(g_object_ref(w)), 40};
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, 50,
        [](gpointer data) -> gboolean {
          auto* r = static_cast<Retry*>(data);
          GtkWidget* widget = GTK_WIDGET(r->window);
          if (gtk_widget_in_destruction(widget) || !g_object_get_data(G_OBJECT(r->window), kWantMaximized) ||
              gtk_window_is_maximized(r->window) || --r->left <= 0)
            return G_SOURCE_REMOVE;
          gtk_window_maximize(r->window);
          return G_SOURCE_CONTINUE;
        },
        retry,
        [](gpointer data) {
          auto* r = static_cast<Retry*>(data);
          g_object_unref(r->window);
          delete r;
        });
  }

  void applyBorder(TForm& f, Peer& p) {
    GtkWindow* w = GTK_WINDOW(p.widget);
    TBorderStyle s = f.BorderStyle();
    gtk_window_set_decorated(w, s != bsNone);
    gtk_window_set_resizable(w, s == bsSizeable || s == bsSizeToolWin);
    GdkWindowTypeHint hint = GDK_WINDOW_TYPE_HINT_NORMAL;
    if (s == bsDialog) hint = GDK_WINDOW_TYPE_HINT_DIALOG;
    else if (s == bsToolWindow || s == bsSizeToolWin) hint = GDK_WINDOW_TYPE_HINT_UTILITY;
    // The hint can only change before the window is mapped.
    if (!gtk_widget_get_mapped(p.widget)) gtk_window_set_type_hint(w, hint);
    gtk_window_set_deletable(w, f.BorderIcons().Contains(biSystemMenu));
  }

  void applyFormSize(TForm& f, Peer& p) {
    GtkWindow* w = GTK_WINDOW(p.widget);
    int cw = std::max(f.ClientWidth(), 1), ch = std::max(f.ClientHeight(), 1);
    bool resizable = f.BorderStyle() == bsSizeable || f.BorderStyle() == bsSizeToolWin;
    // A fixed-size window takes its content's request as its size.
    if (resizable) gtk_widget_set_size_request(p.container, -1, -1);
    else gtk_widget_set_size_request(p.container, cw, ch);
    if (f.WindowState() == wsNormal) gtk_window_resize(w, cw, ch);
  }

  void applyIcon(TForm& f, Peer& p) {
    auto data = f.Icon()->Data();
    if (data.empty()) return;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    if (gdk_pixbuf_loader_write(loader, data.data(), data.size(), nullptr) && gdk_pixbuf_loader_close(loader, nullptr)) {
      if (GdkPixbuf* pb = gdk_pixbuf_loader_get_pixbuf(loader)) gtk_window_set_icon(GTK_WINDOW(p.widget), pb);
    } else {
      gdk_pixbuf_loader_close(loader, nullptr);
    }
    g_object_unref(loader);
  }

  void place(TControl& c) {
    Peer& p = peers_[&c];
    TWinControl* parent = c.Parent();
    auto it = parent ? peers_.find(parent) : peers_.end();
    if (it == peers_.end() || !it->second.container) return;
    gtk_fixed_put(GTK_FIXED(it->second.container), p.widget, c.Left(), c.Top());
    setRect(p.widget, c.Left(), c.Top(), c.Width(), c.Height());
  }

  void applyFont(TControl& c, Peer& p) {
    GtkWidget* target = p.widget;
    if (GTK_IS_BUTTON(target)) target = gtk_bin_get_child(GTK_BIN(target));
    if (p.frame) target = gtk_frame_get_label_widget(GTK_FRAME(p.frame));
    if (!target || !GTK_IS_LABEL(target)) {
      if (GTK_IS_ENTRY(p.widget)) {
        PangoFontDescription* d = fontDescription(c.EffectiveFont());
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs, pango_attr_font_desc_new(d));
        gtk_entry_set_attributes(GTK_ENTRY(p.widget), attrs);
        pango_attr_list_unref(attrs);
        pango_font_description_free(d);
      }
      return;
    }
    PangoFontDescription* d = fontDescription(c.EffectiveFont());
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_font_desc_new(d));
    std::uint32_t rgb = ColorToRGB(c.EffectiveFont().Color());
    pango_attr_list_insert(attrs, pango_attr_foreground_new(static_cast<guint16>((rgb & 0xFF) * 257),
                                                             static_cast<guint16>(((rgb >> 8) & 0xFF) * 257),
                                                             static_cast<guint16>(((rgb >> 16) & 0xFF) * 257)));
    gtk_label_set_attributes(GTK_LABEL(target), attrs);
    pango_attr_list_unref(attrs);
    pango_font_description_free(d);
  }

  void applyState(TControl& c, Peer& p) {
    if (auto* l = dynamic_cast<TLabel*>(&c)) {
      GtkLabel* gl = GTK_LABEL(p.widget);
      gtk_label_set_line_wrap(gl, l->WordWrap());
      gtk_label_set_line_wrap_mode(gl, PANGO_WRAP_WORD_CHAR);
      float x = l->Alignment() == taCenter ? 0.5f : l->Alignment() == taRightJustify ? 1.0f : 0.0f;
      float y = l->Layout() == tlCenter ? 0.5f : l->Layout() == tlBottom ? 1.0f : 0.0f;
      gtk_label_set_xalign(gl, x);
      gtk_label_set_yalign(gl, y);
      gtk_label_set_justify(gl, l->Alignment() == taCenter          ? GTK_JUSTIFY_CENTER
                                : l->Alignment() == taRightJustify ? GTK_JUSTIFY_RIGHT
                                                                   : GTK_JUSTIFY_LEFT);
    } else if (auto* e = dynamic_cast<TEdit*>(&c)) {
      GtkEntry* ge = GTK_ENTRY(p.widget);
      gtk_entry_set_visibility(ge, e->PasswordChar() == 0);
      if (e->PasswordChar()) gtk_entry_set_invisible_char(ge, static_cast<gunichar>(static_cast<unsigned char>(e->PasswordChar())));
      gtk_entry_set_max_length(ge, e->MaxLength());
      gtk_editable_set_editable(GTK_EDITABLE(ge), !e->ReadOnly());
      gtk_entry_set_has_frame(ge, e->BorderStyle() != bsNone);
      gtk_widget_set_can_focus(p.widget, e->TabStop() || true);
    } else if (auto* pb = dynamic_cast<TProgressBar*>(&c)) {
      gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(p.widget), pb->Fraction());
    } else if (auto* b = dynamic_cast<TButton*>(&c)) {
      gtk_widget_set_can_default(p.widget, b->Default());
    } else {
      if (p.pixbuf) {
        g_object_unref(p.pixbuf);
        p.pixbuf = nullptr;
      }
      gtk_widget_queue_draw(p.widget);
    }
    if (c.ShowHint() && !c.Hint().empty()) gtk_widget_set_tooltip_text(p.widget, c.Hint().c_str());
    else gtk_widget_set_tooltip_text(p.widget, nullptr);
  }

  static gboolean entryKey(GtkWidget* w, GdkEventKey* e, gpointer d) {
    auto* edit = static_cast<TEdit*>(d);
    guint32 uc = gdk_keyval_to_unicode(e->keyval);
    char key = 0;
    if (e->keyval == GDK_KEY_BackSpace) key = static_cast<char>(VK_BACK);
    else if (uc >= 0x20 && uc < 0x7F && !(e->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK))) key = static_cast<char>(uc);
    else return FALSE;
    char after = contained([edit, key] { return edit->FilterKey(key); });
    if (after == key) return FALSE;
    if (after != 0 && after != static_cast<char>(VK_BACK)) {
      char s[2] = {after, 0};
      int pos = gtk_editable_get_position(GTK_EDITABLE(w));
      gtk_editable_insert_text(GTK_EDITABLE(w), s, 1, &pos);
      gtk_editable_set_position(GTK_EDITABLE(w), pos);
    }
    return TRUE;
  }

  static gboolean drawPanel(GtkWidget* w, cairo_t* cr, gpointer d) {
    auto* panel = dynamic_cast<TPanel*>(static_cast<TControl*>(d));
    if (!panel || panel->BevelOuter() == bvNone) return FALSE;
    int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
    bool lowered = panel->BevelOuter() == bvLowered;
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgb(cr, lowered ? 0.5 : 1.0, lowered ? 0.5 : 1.0, lowered ? 0.5 : 1.0);
    cairo_move_to(cr, 0.5, height - 0.5);
    cairo_line_to(cr, 0.5, 0.5);
    cairo_line_to(cr, width - 0.5, 0.5);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, lowered ? 1.0 : 0.5, lowered ? 1.0 : 0.5, lowered ? 1.0 : 0.5);
    cairo_move_to(cr, width - 0.5, 0.5);
    cairo_line_to(cr, width - 0.5, height - 0.5);
    cairo_line_to(cr, 0.5, height - 0.5);
    cairo_stroke(cr);
    return FALSE;
  }

  static gboolean drawGraphic(GtkWidget* w, cairo_t* cr, gpointer self) {
    auto* backend = static_cast<GtkBackend*>(self);
    auto* c = static_cast<TControl*>(g_object_get_data(G_OBJECT(w), "qorv-control"));
    auto it = backend->peers_.find(c);
    if (!c || it == backend->peers_.end()) return FALSE;
    if (auto* img = dynamic_cast<TImage*>(c)) {
      TGraphic* g = img->Picture()->Graphic();
      if (!g || g->Empty()) return FALSE;
      TRect dst = img->DestRect();
      if (!it->second.pixbuf) {
        const TPixels& px = g->pixels();
        GdkPixbuf* src = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, px.Width, px.Height);
        int stride = gdk_pixbuf_get_rowstride(src);
        guchar* out = gdk_pixbuf_get_pixels(src);
        for (int y = 0; y < px.Height; ++y)
          std::copy_n(px.RGB.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(px.Width) * 3,
                      static_cast<std::size_t>(px.Width) * 3, out + static_cast<std::ptrdiff_t>(y) * stride);
        it->second.pixbuf = gdk_pixbuf_scale_simple(src, std::max(dst.Width(), 1), std::max(dst.Height(), 1),
                                                    GDK_INTERP_BILINEAR);
        g_object_unref(src);
      }
      gdk_cairo_set_source_pixbuf(cr, it->second.pixbuf, dst.Left, dst.Top);
      cairo_paint(cr);
    } else if (auto* bevel = dynamic_cast<TBevel*>(c)) {
      int width = gtk_widget_get_allocated_width(w), height = gtk_widget_get_allocated_height(w);
      double dark = 0.63, light = 1.0;
      bool lowered = bevel->Style() == bsLowered;
      auto line = [&](double x1, double y1, double x2, double y2, bool darkFirst) {
        double a = darkFirst ? dark : light, b = darkFirst ? light : dark;
        cairo_set_source_rgb(cr, a, a, a);
        cairo_move_to(cr, x1 + 0.5, y1 + 0.5);
        cairo_line_to(cr, x2 + 0.5, y2 + 0.5);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, b, b, b);
        cairo_move_to(cr, x1 + 1.5, y1 + 1.5);
        cairo_line_to(cr, x2 + 1.5, y2 + 1.5);
        cairo_stroke(cr);
      };
      cairo_set_line_width(cr, 1);
      switch (bevel->Shape()) {
        case bsTopLine: line(0, 0, width - 2, 0, lowered); break;
        case bsBottomLine: line(0, height - 2, width - 2, height - 2, lowered); break;
        case bsLeftLine: line(0, 0, 0, height - 2, lowered); break;
        case bsRightLine: line(width - 2, 0, width - 2, height - 2, lowered); break;
        case bsBox:
        case bsFrame:
          line(0, 0, width - 2, 0, lowered);
          line(0, height - 2, width - 2, height - 2, lowered);
          line(0, 0, 0, height - 2, lowered);
          line(width - 2, 0, width - 2, height - 2, lowered);
          break;
        case bsSpacer: break;
      }
    }
    return FALSE;
  }

  std::map<TControl*, Peer> peers_;
};

}  // namespace

std::unique_ptr<UIBackend> MakeGtkBackend() {
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkBackend>();
}

}  // namespace qorv::platform::detail
