// Shared by the UI tests: the headless backend for the whole binary, and a
// watchdog that ends a loop which would otherwise wait for a lost event.
#pragma once

#include <functional>

#include <glib.h>
#include <gtest/gtest.h>

#include "platform/ui/Backend.h"
#include "platform/ui/Forms.h"

namespace qorv::platform::testing {

class HeadlessEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    SetUIBackend(UIBackendKind::Headless);
    Application->Initialize();
  }
};

// Fires once after Ms milliseconds of loop time; OnFire may end a modal
// loop (set a ModalResult) so that the test fails instead of hanging.
class Watchdog {
public:
  explicit Watchdog(unsigned ms, std::function<void()> onFire = {}) : onFire_(std::move(onFire)) {
    id_ = g_timeout_add(ms, &Watchdog::fire, this);
  }
  ~Watchdog() {
    if (!fired_) g_source_remove(id_);
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  bool Fired() const { return fired_; }

private:
  static gboolean fire(gpointer self) {
    auto* w = static_cast<Watchdog*>(self);
    w->fired_ = true;
    if (w->onFire_) w->onFire_();
    return G_SOURCE_REMOVE;
  }
  std::function<void()> onFire_;
  guint id_ = 0;
  bool fired_ = false;
};

// Runs the loop until Done() or the watchdog fires; true when Done().
inline bool RunUntil(const std::function<bool()>& done, unsigned ms = 5000) {
  Watchdog dog(ms);
  while (!done() && !dog.Fired()) Application->HandleMessage();
  return done();
}

}  // namespace qorv::platform::testing
