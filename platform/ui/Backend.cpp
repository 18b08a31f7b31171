#include "platform/ui/Backend.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <glib.h>

#include "platform/core/SysUtils.h"
#include "platform/ui/Forms.h"
#include "platform/ui/UIInternal.h"

namespace qorv::platform {

namespace {

struct HeadlessState {
  HeadlessResponder responder;
  std::vector<HeadlessLogEntry> log;
  int screenWidth = 1024;
  int screenHeight = 768;
};

HeadlessState& headless() {
  static HeadlessState state;
  return state;
}

bool formAlive(TForm* form) {
  const auto& forms = Application->Forms();
  return std::find(forms.begin(), forms.end(), form) != forms.end();
}

class HeadlessBackend final : public UIBackend {
public:
  UIBackendKind Kind() const override { return UIBackendKind::Headless; }

  void CreatePeer_impl(TControl&) override {}
  void AdoptPeer_impl(TControl& Control, void*) override { SetNativeWidget(Control, nullptr); }
  void DestroyPeer_impl(TControl&) override {}

  void Update_impl(TControl& Control, ControlAspect Aspect) override {
    if (Aspect != ControlAspect::Visible) return;
    auto* form = dynamic_cast<TForm*>(&Control);
    if (!form) return;
    HeadlessLogEntry e;
    e.What = form->Visible() ? HeadlessLogEntry::FormShown : HeadlessLogEntry::FormHidden;
    e.Text = form->Name();
    e.Caption = form->Caption();
    headless().log.push_back(std::move(e));
  }

  void UpdateForm_impl(TForm& Form, FormAspect Aspect) override {
    if (Aspect == FormAspect::WindowState) {
      // Stands in for the window manager: a maximized window covers the
      // work area; restoring brings back the bounds it had before.
      switch (Form.WindowState()) {
        case wsMaximized: Form.BoundsChangedByToolkit(WorkArea_impl()); break;
        case wsNormal: Form.BoundsChangedByToolkit(Form.RestoredBounds()); break;
        case wsMinimized: break;
      }
    } else if (Aspect == FormAspect::Modal && !Form.Modal()) {
      HeadlessLogEntry e;
      e.What = HeadlessLogEntry::ModalEnded;
      e.Text = Form.Name();
      e.Caption = Form.Caption();
      e.Answer = Form.ModalResult();
      headless().log.push_back(std::move(e));
    }
  }

  TSize MeasureText_impl(const std::string& Text, const TFont& Font, int WrapWidth) override {
    const int lineHeight = Font.PixelHeight();
    const int h = Font.Height() < 0 ? -Font.Height() : std::max(Font.Height() * 3 / 4, 1);
    const int charWidth = std::max(1, (h + 1) / 2);
    auto width = [&](std::size_t n) { return static_cast<int>(n) * charWidth; };
    int lines = 0, maxWidth = 0;
    std::size_t start = 0;
    for (;;) {
      std::size_t end = Text.find('\n', start);
      std::string line = Text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (WrapWidth < 0 || width(line.size()) <= WrapWidth) {
        ++lines;
        maxWidth = std::max(maxWidth, width(line.size()));
      } else {
        // Greedy wrapping at blanks; a word longer than the width is cut.
        std::size_t perLine = static_cast<std::size_t>(std::max(1, WrapWidth / charWidth));
        std::size_t pos = 0;
        while (pos < line.size()) {
          std::size_t take = std::min(perLine, line.size() - pos);
          if (pos + take < line.size()) {
            std::size_t blank = line.rfind(' ', pos + take);
            if (blank != std::string::npos && blank > pos) take = blank - pos;
          }
          ++lines;
          maxWidth = std::max(maxWidth, width(take));
          pos += take;
          while (pos < line.size() && line[pos] == ' ') ++pos;
        }
        if (line.empty()) ++lines;
      }
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return TSize{maxWidth, std::max(lines, 1) * lineHeight};
  }

  TRect WorkArea_impl() override { return TRect{0, 0, headless().screenWidth, headless().screenHeight}; }

  int MessageBox_impl(const std::string& Text, const std::string& Caption, unsigned Flags) override {
    int answer = MessageBoxDefaultAnswer(Flags);
    if (headless().responder.MessageBox) {
      int given = headless().responder.MessageBox(MessageBoxRequest{Text, Caption, Flags});
      std::vector<int> offered = MessageBoxButtons(Flags);
      if (std::find(offered.begin(), offered.end(), given) != offered.end()) answer = given;
    }
    HeadlessLogEntry e;
    e.What = HeadlessLogEntry::MessageBoxShown;
    e.Text = Text;
    e.Caption = Caption;
    e.Flags = Flags;
    e.Answer = answer;
    headless().log.push_back(std::move(e));
    return answer;
  }

  void ModalLoopStarted_impl(TForm& Form) override {
    HeadlessLogEntry e;
    e.What = HeadlessLogEntry::ModalShown;
    e.Text = Form.Name();
    e.Caption = Form.Caption();
    headless().log.push_back(std::move(e));
    // The responder acts from inside the modal loop, as a user would.
    g_idle_add(
        [](gpointer data) -> gboolean {
          auto* form = static_cast<TForm*>(data);
          if (!formAlive(form) || !form->Modal()) return G_SOURCE_REMOVE;
          try {
            if (headless().responder.Modal) {
              headless().responder.Modal(*form);
            } else if (!form->DialogKey(VK_ESCAPE)) {
              form->Close();
            }
          } catch (const std::exception& ex) {
            Application->HandleException(ex);
          }
          return G_SOURCE_REMOVE;
        },
        &Form);
  }
};

std::unique_ptr<UIBackend>& backendSlot() {
  static std::unique_ptr<UIBackend> slot;
  return slot;
}

UIBackendKind& requested() {
  static UIBackendKind kind = UIBackendKind::Headless;
  return kind;
}
bool& requestedSet() {
  static bool set = false;
  return set;
}

}  // namespace

void SetUIBackend(UIBackendKind Kind) {
  if (backendSlot()) {
    if (backendSlot()->Kind() != Kind) throw EInvalidOperation("The UI backend is already chosen");
    return;
  }
  requested() = Kind;
  requestedSet() = true;
}

UIBackend& CurrentUIBackend() {
  auto& slot = backendSlot();
  if (slot) return *slot;
  bool wantGtk = false;
  if (requestedSet()) {
    wantGtk = requested() == UIBackendKind::Gtk;
  } else if (const char* env = std::getenv("QORV_UI"); env && *env) {
    wantGtk = SameText(env, "gtk");
  } else {
    const char* d = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    wantGtk = (d && *d) || (w && *w);
  }
  if (wantGtk) slot = detail::MakeGtkBackend();
  if (!slot) {
    if (requestedSet() && requested() == UIBackendKind::Gtk)
      throw EInvalidOperation("The GTK backend cannot start: no display");
    slot = std::make_unique<HeadlessBackend>();
  }
  return *slot;
}

UIBackendKind CurrentUIBackendKind() { return CurrentUIBackend().Kind(); }

void SetHeadlessResponder(HeadlessResponder Responder) { headless().responder = std::move(Responder); }

std::vector<HeadlessLogEntry> HeadlessLog() { return headless().log; }

void ClearHeadlessLog() { headless().log.clear(); }

void SetHeadlessScreen(int Width, int Height) {
  headless().screenWidth = std::max(Width, 1);
  headless().screenHeight = std::max(Height, 1);
}

}  // namespace qorv::platform
