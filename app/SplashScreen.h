// The portal window: the module SplashScreen with TSplashScreen.
//
// The window starts as a borderless 700 x 420 splash with the picture, the
// browser hidden and lying outside the client area. Three seconds after
// creation the timer turns it into a sizeable, maximized window filled by
// the browser, which opens the portal. The first page the portal window
// loads loses its own scroll bars, provided it completes before a second
// navigation (a frame or a followed link) has been reported.
//
// The form and its components come from the stored form description
// (resource TSPLASHSCREEN), which names the handlers below. The form is the
// application's main form and lives until the program ends.
//
// Threads: everything here runs on the main thread, from the form
// machinery, the timer and the browser's events.
//
// Failures: a first page that lacks the objects the scroll-bar assignments
// reach (no body, not an HTML document) keeps its scroll bars; the failure
// stays inside the handler.
#pragma once

#include <cstdint>

#include "platform/core/SysUtils.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/web/WebBrowser.h"

namespace qorv {

class TSplashScreen : public platform::TForm {
  QORV_DECLARE_CLASSINFO()
public:
  explicit TSplashScreen(platform::TComponent* AOwner);

  platform::TTimer* Timer1 = nullptr;
  platform::TWebBrowser* WebBrowser1 = nullptr;
  platform::TImage* Image1 = nullptr;

  void FormCreate(platform::TObject* Sender);
  void FormShow(platform::TObject* Sender);
  void Timer1Timer(platform::TObject* Sender);
  void WebBrowser1NavigateComplete2(platform::TObject* Sender, const platform::WideString& URL);
  void WebBrowser1DocumentComplete(platform::TObject* Sender, const platform::WideString& URL);

  void Notification(platform::TComponent* AComponent, platform::TOperation Operation) override;
};

// The application's main form, made by the program entry.
extern TSplashScreen* SplashScreen;
// Navigation-complete events reported since the window was last shown.
extern std::int32_t NavigateCount;

// The portal's root URL: "http://", the portal host and one trailing blank,
// which is kept and handed to the browser as it is.
extern const platform::WideString PortalURL;

// Module start-up and shut-down, in the program's order (main.cpp): the
// browser needs no per-process initialisation here, unlike the component
// system it was designed on, so these keep only the place in that order.
void SplashScreenInitialization();
void SplashScreenFinalization();

}  // namespace qorv
