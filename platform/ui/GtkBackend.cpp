#include "platform/ui/UIInternal.h"

namespace qorv::platform::detail {

std::unique_ptr<UIBackend> MakeGtkBackend() { return nullptr; }

}  // namespace qorv::platform::detail
