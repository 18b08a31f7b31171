// Shared pieces of the UI area's backends; not for use outside the area.
#pragma once

#include <memory>

#include "platform/ui/Backend.h"

namespace qorv::platform::detail {

// The GTK backend, after gtk_init_check; nullptr when no display can be
// opened.
std::unique_ptr<UIBackend> MakeGtkBackend();

}  // namespace qorv::platform::detail
