// Fuzz target for the string resource reader: the first four bytes choose
// the string id and language, the rest is the module file. Any input must
// give a string or nothing, without reading outside the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/files/pe_resources.h"

using talmoor::platform::loadStringResource;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  unsigned id = data[0] | data[1] << 8;
  auto language = static_cast<unsigned short>(data[2] | data[3] << 8);
  std::span<const std::uint8_t> image(data + 4, size - 4);
  for (unsigned which : {id, id ^ 1u, 0u}) {
    if (auto text = loadStringResource(image, which, language); text && text->empty()) std::abort();
  }
  return 0;
}
