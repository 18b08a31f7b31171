#include "app/SplashScreen.h"

#include "app/PortalHost.h"

namespace qorv {

using namespace platform;

TSplashScreen* SplashScreen = nullptr;
std::int32_t NavigateCount = 0;

const WideString PortalURL = u"http://" QORV_PORTAL_HOST " ";

const TClassInfo& TSplashScreen::StaticClassInfo() {
  static const TClassInfo info =
      ClassInfoBuilder<TSplashScreen>("TSplashScreen", TForm::StaticClassInfo())
          .PublishedMethod("FormCreate", &TSplashScreen::FormCreate)
          .PublishedMethod("FormShow", &TSplashScreen::FormShow)
          .PublishedMethod("Timer1Timer", &TSplashScreen::Timer1Timer)
          .PublishedMethod("WebBrowser1NavigateComplete2", &TSplashScreen::WebBrowser1NavigateComplete2)
          .PublishedMethod("WebBrowser1DocumentComplete", &TSplashScreen::WebBrowser1DocumentComplete)
          .Build();
  return info;
}

TSplashScreen::TSplashScreen(TComponent* owner) : TForm(owner) {
  RegisterWebClasses();
  InitFormResource("TSPLASHSCREEN", [this] {
    Timer1 = Field<TTimer>("Timer1");
    WebBrowser1 = Field<TWebBrowser>("WebBrowser1");
    Image1 = Field<TImage>("Image1");
  });
}

void TSplashScreen::Notification(TComponent* component, TOperation operation) {
  TForm::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == Timer1) Timer1 = nullptr;
  if (component == WebBrowser1) WebBrowser1 = nullptr;
  if (component == Image1) Image1 = nullptr;
}

void TSplashScreen::FormCreate(TObject*) {}

void TSplashScreen::FormShow(TObject*) {
  NavigateCount = 0;
  WebBrowser1->SetVisible(false);
  Image1->SetVisible(true);
}

void TSplashScreen::Timer1Timer(TObject*) {
  SetBorderStyle(bsSizeable);
  SetWidth(1012);
  SetHeight(576);
  SetPosition(poScreenCenter);
  SetWindowState(wsMaximized);
  Image1->SetVisible(false);
  FreeAndNil(Image1);
  WebBrowser1->SetVisible(true);
  Timer1->SetEnabled(false);
  WebBrowser1->SetAlign(alClient);
  WebBrowser1->Navigate(PortalURL);
}

void TSplashScreen::WebBrowser1NavigateComplete2(TObject*, const WideString&) { ++NavigateCount; }

void TSplashScreen::WebBrowser1DocumentComplete(TObject*, const WideString&) {
  if (NavigateCount != 1) return;
  try {
    WebBrowser1->OleObject().Get("Document").Get("body").Set("Scroll", "no");
    WebBrowser1->OleObject().Get("Document").Get("documentElement").Get("style").Set("overflow", "hidden");
  } catch (const EOleError&) {
    // A page without these objects keeps its own scroll bars.
  }
}

void SplashScreenInitialization() {}

void SplashScreenFinalization() {}

}  // namespace qorv
