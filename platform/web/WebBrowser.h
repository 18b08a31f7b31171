// TWebBrowser: the embedded web browser control.
//
// A control on a form, placed like any other (Left, Top, Width, Height;
// Align alCustom leaves it where it is, alClient makes it fill the form).
// What it offers is what a browser control offers its host:
//  - Navigate(URL): load a page; the URL is handed over as given (UTF-16).
//  - Visible: the browser object's own visibility. Hiding it hides the page
//    but leaves the control where it is; the control's place in the form is
//    not touched.
//  - OnNavigateComplete2(Sender, URL): a navigation completed, once for the
//    page itself and once for each of its frames, as each document arrives.
//  - OnDocumentComplete(Sender, URL): the page, with all its frames, has
//    finished loading.
//  - OleObject(): the browser object for late-bound property assignments on
//    the page (OleDispatch.h).
//
// The toolkit work is one peer per control, made when the control enters a
// parent that has a peer: a WebKit view under the GTK backend, a recording
// peer under the headless backend (which tests drive and inspect through
// Headless()). A Navigate before the peer exists is kept and made when the
// peer is created.
//
// Threads: main thread only. Events fire from the main loop, never from
// inside Navigate. An exception thrown by an event handler does not travel
// into the toolkit: it goes to Application->HandleException, as exceptions
// of other event handlers do (one of no std::exception class is written to
// standard error).
//
// Ownership: the owner frees the control; the control owns its peer. An
// OleVariant from OleObject() may outlive the control; it then fails.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/core/SysUtils.h"
#include "platform/ui/Controls.h"
#include "platform/web/OleDispatch.h"

namespace qorv::platform {

using TWebBrowserNavigateComplete2 = Method<void(TObject* Sender, const WideString& URL)>;
using TWebBrowserDocumentComplete = Method<void(TObject* Sender, const WideString& URL)>;

// What the control asks of its toolkit object.
class WebBrowserPeer : public DispatchTarget {
public:
  virtual void Navigate(const WideString& URL) = 0;
  virtual void SetBrowserVisible(bool Visible) = 0;
};

// The headless backend's peer: it does what a browser would be asked to do,
// as records. Tests play the browser's part through
// TWebBrowser::NavigateComplete2 and DocumentComplete.
class HeadlessBrowserPeer : public WebBrowserPeer {
public:
  struct Assignment {
    std::vector<std::string> Path;
    std::string Name;
    std::string Value;
  };

  void Navigate(const WideString& URL) override { Navigations.push_back(URL); }
  void SetBrowserVisible(bool Visible) override { BrowserVisible = Visible; }
  std::string AssignPageProperty(const std::vector<std::string>& Path, const std::string& Name,
                                 const std::string& Value) override;

  std::vector<WideString> Navigations;
  bool BrowserVisible = true;
  std::vector<Assignment> Assignments;
  // When not empty, every assignment fails with this reason and is not
  // recorded, as for a page without the objects asked for.
  std::string FailAssignmentsWith;
};

class TWebBrowser : public TWinControl {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TWebBrowser(TComponent* AOwner);
  ~TWebBrowser() override;

  void Navigate(const WideString& URL);

  // The browser object's visibility (see the header comment); it shadows
  // the control's own Visible.
  bool Visible() const { return browserVisible_; }
  void SetVisible(bool Value) override;

  OleVariant OleObject() const;

  TWebBrowserNavigateComplete2 OnNavigateComplete2() const { return onNavigateComplete2_; }
  void SetOnNavigateComplete2(TWebBrowserNavigateComplete2 Value) { onNavigateComplete2_ = std::move(Value); }
  TWebBrowserDocumentComplete OnDocumentComplete() const { return onDocumentComplete_; }
  void SetOnDocumentComplete(TWebBrowserDocumentComplete Value) { onDocumentComplete_ = std::move(Value); }

  // Called by the peer when the browser reports these; they fire the events.
  void NavigateComplete2(const WideString& URL);
  void DocumentComplete(const WideString& URL);

  // The recording peer under the headless backend; nullptr otherwise or
  // before the peer exists.
  HeadlessBrowserPeer* Headless() const;
  // The URLs navigated to since creation, in order, whatever the backend.
  const std::vector<WideString>& NavigationLog() const { return navigations_; }

protected:
  void CreatePeer() override;
  void DestroyPeer() override;

private:
  void fire(const TWebBrowserNavigateComplete2& event, const WideString& URL);
  void releasePeer();

  bool browserVisible_ = true;
  std::shared_ptr<WebBrowserPeer> peer_;
  bool headless_ = false;
  std::vector<WideString> pendingNavigations_;
  std::vector<WideString> navigations_;
  TWebBrowserNavigateComplete2 onNavigateComplete2_;
  TWebBrowserDocumentComplete onDocumentComplete_;
};

// Makes the WebKit peer for Browser inside a GTK parent and gives its widget
// to the control (WebKitBackend.cpp).
std::shared_ptr<WebBrowserPeer> CreateWebKitPeer(TWebBrowser& Browser, void*& Widget);

// Registers TWebBrowser for form descriptions. Idempotent.
void RegisterWebClasses();

}  // namespace qorv::platform
