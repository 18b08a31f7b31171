#include "platform/system/Resources.h"

#include <mutex>
#include <vector>

namespace qorv::platform {

namespace {

// Function-local statics: generated sources register from their own static
// initialisers, in whatever order the linker runs them, so the tables must
// exist before the first registration rather than at some fixed point.
std::mutex& tableMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<std::span<const StringResource>>& stringTables() {
  static std::vector<std::span<const StringResource>> tables;
  return tables;
}
std::vector<std::span<const BinaryResource>>& binaryTables() {
  static std::vector<std::span<const BinaryResource>> tables;
  return tables;
}

bool equalNoCase(std::string_view a, const char* b) {
  if (b == nullptr) return false;
  std::size_t i = 0;
  for (; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (y == 0) return false;
    const auto lx = x >= 'A' && x <= 'Z' ? x + 32 : x;
    const auto ly = y >= 'A' && y <= 'Z' ? y + 32 : y;
    if (lx != ly) return false;
  }
  return b[i] == '\0';
}

}  // namespace

void registerStringResources(std::span<const StringResource> entries) {
  std::lock_guard lock(tableMutex());
  stringTables().push_back(entries);
}

void registerBinaryResources(std::span<const BinaryResource> entries) {
  std::lock_guard lock(tableMutex());
  binaryTables().push_back(entries);
}

bool FindStringResource(unsigned id, std::string& text) {
  std::lock_guard lock(tableMutex());
  // The first registration of an id wins.
  for (const auto& table : stringTables()) {
    for (const StringResource& entry : table) {
      if (entry.id == id) {
        text = entry.text != nullptr ? entry.text : "";
        return true;
      }
    }
  }
  return false;
}

std::string LoadStr(unsigned id) {
  std::string text;
  FindStringResource(id, text);
  return text;
}

std::span<const unsigned char> FindResource(std::string_view name, std::string_view type) {
  std::lock_guard lock(tableMutex());
  for (const auto& table : binaryTables()) {
    for (const BinaryResource& entry : table) {
      if (equalNoCase(name, entry.name) && equalNoCase(type, entry.type)) {
        if (entry.data == nullptr) return {};
        return {entry.data, entry.size};
      }
    }
  }
  return {};
}

}  // namespace qorv::platform
