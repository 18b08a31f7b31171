// Prints every string resource that the generated catalogue source registers,
// one "id<TAB>hex bytes" line each, so that the tests can compare the compiled
// table with the text files byte for byte. It links the generated source alone
// and stands in for the registry of the system area.
#include <cstdio>
#include <span>
#include <vector>

#include "platform/system/Resources.h"

namespace {

// Function-local, so that registration from another translation unit's static
// initialisation finds it constructed.
std::vector<qorv::platform::StringResource>& registered() {
  static std::vector<qorv::platform::StringResource> entries;
  return entries;
}

}  // namespace

namespace qorv::platform {

void registerStringResources(std::span<const StringResource> entries) {
  registered().insert(registered().end(), entries.begin(), entries.end());
}

}  // namespace qorv::platform

int main() {
  for (const auto& entry : registered()) {
    std::printf("%u\t", entry.id);
    for (const char* p = entry.text; *p != '\0'; ++p) {
      std::printf("%02x", static_cast<unsigned>(static_cast<unsigned char>(*p)));
    }
    std::printf("\n");
  }
  return registered().empty() ? 1 : 0;
}
