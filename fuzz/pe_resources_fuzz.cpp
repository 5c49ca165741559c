// Fuzz target for the string and icon resource readers: the first four bytes
// choose the string id and language (and, as a signed number, the icon), the
// rest is the module file or language resource file (.mui). Any input must
// give a string or nothing, an icon that is a whole .ico file or nothing, and
// a string table and resource configuration within their bounds, without
// reading outside the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/files/pe_resources.h"

using talmoor::platform::loadIconResource;
using talmoor::platform::loadStringResource;

namespace {

unsigned u16(const std::vector<std::uint8_t>& bytes, std::size_t at) { return bytes[at] | bytes[at + 1] << 8; }

// An .ico: its directory, then every image it lists, inside it.
void checkIcon(const std::vector<std::uint8_t>& icon) {
  if (icon.size() < 6 || u16(icon, 0) != 0 || u16(icon, 2) != 1 || u16(icon, 4) == 0) std::abort();
  std::size_t count = u16(icon, 4);
  if (icon.size() < 6 + 16 * count || icon.size() > talmoor::platform::kMaxIconBytes) std::abort();
  for (std::size_t i = 0; i < count; ++i) {
    std::size_t at = 6 + 16 * i;
    std::size_t length = u16(icon, at + 8) | std::size_t{u16(icon, at + 10)} << 16;
    std::size_t offset = u16(icon, at + 12) | std::size_t{u16(icon, at + 14)} << 16;
    if (length == 0 || offset > icon.size() || length > icon.size() - offset) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  unsigned id = data[0] | data[1] << 8;
  auto language = static_cast<unsigned short>(data[2] | data[3] << 8);
  std::span<const std::uint8_t> image(data + 4, size - 4);
  for (unsigned which : {id, id ^ 1u, 0u}) {
    if (auto text = loadStringResource(image, which, language); text && text->empty()) std::abort();
  }
  if (auto texts = talmoor::platform::readModuleTexts(image, language)) {
    std::uint64_t units = 0;
    for (const auto& [at, text] : texts->strings) {
      // Ids fit 16 bits, no text is empty, and the table agrees with the one-string reader.
      if (at > 0xFFFF || text.empty()) std::abort();
      units += text.size();
    }
    if (2 * units > talmoor::platform::kMaxStringTableBytes) std::abort();
    if (auto one = loadStringResource(image, id, language); one && texts->strings.count(id) && *one != texts->strings.at(id))
      std::abort();
    if (texts->configuration && texts->configuration->language.size() > 85) std::abort();
  }
  const int icon = static_cast<std::int16_t>(data[0] | data[1] << 8);
  for (int which : {icon, 0, -1})
    if (auto found = loadIconResource(image, which)) checkIcon(*found);
  return 0;
}
