#pragma once
// SHA-1 of a byte string, as lower-case hex, for comparing data with the
// digests that reference listings carry.

#include <cstdint>
#include <span>
#include <string>

namespace talmoor::test {

std::string sha1Hex(std::span<const std::uint8_t> bytes);

}  // namespace talmoor::test
