// Fuzz target for the Wine text registry reader and writer: any input is
// either refused with HiveFormatError or read into a tree whose written text
// reads back and writes out identically.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/hive_format_error.h"
#include "platform/registry/wine_text_format.h"

using talmoor::platform::HiveFormatError;
using talmoor::platform::parseWineRegistry;
using talmoor::platform::serializeWineRegistry;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string first;
  try {
    first = serializeWineRegistry(parseWineRegistry(text, "fuzz.reg"));
  } catch (const HiveFormatError&) {
    return 0;
  }
  // What we wrote ourselves must always be readable, and stable.
  std::string second = serializeWineRegistry(parseWineRegistry(first, "written.reg"));
  if (second != first) std::abort();
  return 0;
}
