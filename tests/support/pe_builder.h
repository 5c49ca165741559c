#pragma once
// Small PE module files made in tests: a PE32+ image with one resource
// section holding the resources given, by type, id and language.

#include <cstdint>
#include <vector>

namespace talmoor::test {

struct PeResource {
  std::uint16_t type;
  std::uint16_t id;
  std::uint16_t language;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> buildPeModule(std::vector<PeResource> resources);

// An icon group (RT_GROUP_ICON data) naming the RT_ICON ids, each image
// stated as `statedSize` bytes.
std::vector<std::uint8_t> iconGroup(const std::vector<std::uint16_t>& iconIds, std::uint32_t statedSize = 8);

}  // namespace talmoor::test
