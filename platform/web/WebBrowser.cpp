#include "platform/web/WebBrowser.h"

#include <cstdio>
#include <mutex>

#include "platform/ui/Backend.h"
#include "platform/ui/Forms.h"

namespace qorv::platform {

namespace {

void reportException(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    Application->HandleException(e);
  } catch (...) {
    std::fprintf(stderr, "Qorv: an exception of unknown type in a browser event was dropped\n");
  }
}

}  // namespace

std::string HeadlessBrowserPeer::AssignPageProperty(const std::vector<std::string>& path, const std::string& name,
                                                    const std::string& value) {
  if (!FailAssignmentsWith.empty()) return FailAssignmentsWith;
  Assignments.push_back({path, name, value});
  return {};
}

const TClassInfo& TWebBrowser::StaticClassInfo() {
  static const TClassInfo info = ClassInfoBuilder<TWebBrowser>("TWebBrowser", TWinControl::StaticClassInfo())
                                     .Event("OnNavigateComplete2", &TWebBrowser::onNavigateComplete2_)
                                     .Event("OnDocumentComplete", &TWebBrowser::onDocumentComplete_)
                                     .Creatable()
                                     .Build();
  return info;
}

TWebBrowser::TWebBrowser(TComponent* owner) : TWinControl(owner) {
  // The size the class library's browser control starts with.
  SetBounds(0, 0, 300, 150);
  SetTabStop(true);
}

TWebBrowser::~TWebBrowser() {
  // The peer goes first, so no toolkit signal reaches a half-destroyed
  // control.
  releasePeer();
}

void TWebBrowser::releasePeer() {
  peer_.reset();
  headless_ = false;
}

void TWebBrowser::CreatePeer() {
  TWinControl* parent = Parent();
  if (CurrentUIBackendKind() == UIBackendKind::Gtk && parent && parent->NativeWidget()) {
    void* widget = nullptr;
    peer_ = CreateWebKitPeer(*this, widget);
    headless_ = false;
    AdoptNativeWidget(widget);
  } else {
    peer_ = std::make_shared<HeadlessBrowserPeer>();
    headless_ = true;
    AdoptNativeWidget(nullptr);
  }
  peer_->SetBrowserVisible(browserVisible_);
  std::vector<WideString> pending;
  pending.swap(pendingNavigations_);
  for (const WideString& url : pending) peer_->Navigate(url);
}

void TWebBrowser::DestroyPeer() {
  releasePeer();
  TWinControl::DestroyPeer();
}

void TWebBrowser::Navigate(const WideString& url) {
  navigations_.push_back(url);
  if (peer_) peer_->Navigate(url);
  else pendingNavigations_.push_back(url);
}

void TWebBrowser::SetVisible(bool value) {
  browserVisible_ = value;
  if (peer_) peer_->SetBrowserVisible(value);
}

OleVariant TWebBrowser::OleObject() const {
  return OleVariant::BrowserObject(std::weak_ptr<DispatchTarget>(peer_));
}

HeadlessBrowserPeer* TWebBrowser::Headless() const {
  return headless_ ? static_cast<HeadlessBrowserPeer*>(peer_.get()) : nullptr;
}

void TWebBrowser::fire(const TWebBrowserNavigateComplete2& event, const WideString& url) {
  if (!event.Assigned() || ComponentState().Contains(csDestroying)) return;
  try {
    event(this, url);
  } catch (...) {
    reportException(std::current_exception());
  }
}

void TWebBrowser::NavigateComplete2(const WideString& url) { fire(onNavigateComplete2_, url); }

void TWebBrowser::DocumentComplete(const WideString& url) { fire(onDocumentComplete_, url); }

void RegisterWebClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterUIClasses();
    RegisterClass(TWebBrowser::StaticClassInfo());
  });
}

}  // namespace qorv::platform
