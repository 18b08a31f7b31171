// The launcher's entry: module start-up, the application object, the main
// form, the message loop, shut-down. Closing the main form ends the loop;
// the forms are freed while the modules they use still stand, and the
// process then exits with 0.
#include "app/SplashScreen.h"
#include "platform/system/Process.h"
#include "upgrader/auAutoUpgrader.h"

namespace {

// The modules' start-up, in dependency order: the upgrade module (message
// language, applier path) before the portal window's; the end in reverse.
void StartModules() {
  qorv::AutoUpgraderInitialization();
  qorv::SplashScreenInitialization();
}

void StopModules() {
  qorv::SplashScreenFinalization();
  qorv::AutoUpgraderFinalization();
}

}  // namespace

int main(int argc, char** argv) {
  using qorv::platform::Application;
  qorv::platform::SetProgramArguments(argc, argv);
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
