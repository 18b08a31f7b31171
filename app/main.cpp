// The launcher's entry: module start-up, the application object, the main
// form, the message loop, shut-down. Closing the main form ends the loop;
// the forms are freed while the modules they use still stand, and the
// process then exits with 0.
#include "app/SplashScreen.h"

namespace {

// The modules' start-up, in dependency order; the upgrade component's
// module joins here, before the portal window's.
void StartModules() { qorv::SplashScreenInitialization(); }

void StopModules() { qorv::SplashScreenFinalization(); }

}  // namespace

int main() {
  using qorv::platform::Application;
  StartModules();
  Application->Initialize();
  Application->CreateForm(qorv::SplashScreen);
  Application->Run();
  // The main form and its components (timer, browser, and whatever work
  // they still have running) end here rather than with the process.
  qorv::platform::DoneApplication();
  StopModules();
  return 0;
}
