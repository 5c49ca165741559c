#include "platform/registry/regf_layout.h"

#include "platform/text/code_page.h"

namespace talmoor::platform::regf {

std::uint32_t plainBaseBlockChecksum(std::span<const std::uint8_t> baseBlock) {
  std::uint32_t sum = 0;
  for (std::size_t at = 0; at < kChecksum; at += 4) sum ^= load32(baseBlock, at);
  return sum;
}

std::uint32_t baseBlockChecksum(std::span<const std::uint8_t> baseBlock) {
  std::uint32_t sum = plainBaseBlockChecksum(baseBlock);
  if (sum == 0) return 1;
  if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  return sum;
}

std::uint32_t nameHash(std::u16string_view name) {
  std::uint32_t hash = 0;
  for (char16_t c : name) hash = hash * 37 + upcaseUnit(c);
  return hash;
}

bool fitsCompressed(std::u16string_view name) {
  for (char16_t c : name)
    if (c > 0xFF) return false;
  return true;
}

}  // namespace talmoor::platform::regf
