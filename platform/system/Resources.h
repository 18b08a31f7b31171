// Embedded resources and string tables.
//
// Files under resources/ (and the applier executable) are compiled into the
// launcher at build time; the generated sources register them here before
// main() runs, and modules find them by name and type, or, for string
// tables, by numeric id. Lookups may run on any thread once main() has
// started: the tables are filled during static initialisation only and never
// change afterwards. A missing resource is reported through the result, never
// by an exception.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace qorv::platform {

struct StringResource {
  unsigned id;
  const char* text;  // UTF-8 (the system code page on Linux)
};

struct BinaryResource {
  const char* name;  // upper-case, as the modules name it ("AUUPG")
  const char* type;  // upper-case type name ("AUUPG", "RCDATA", "JPEG")
  const unsigned char* data;
  std::size_t size;
};

// Called by generated sources during static initialisation. The arrays must
// live for the whole process.
void registerStringResources(std::span<const StringResource> entries);
void registerBinaryResources(std::span<const BinaryResource> entries);

// The string with the given id; empty when there is none.
std::string LoadStr(unsigned id);
// True and the text when the id exists (an existing empty string counts).
bool FindStringResource(unsigned id, std::string& text);

// Name and type compare without regard to letter case, as resource names do.
// The span is empty when the resource does not exist.
std::span<const unsigned char> FindResource(std::string_view name, std::string_view type);

}  // namespace qorv::platform
