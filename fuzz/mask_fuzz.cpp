// Fuzz target for the mask engine. The first byte chooses the options, the
// second the mask length; then come the mask and the source. MaskSearch runs
// with a callback that accepts, rejects, replaces, gives back or aborts as
// the source's own bytes say, and MaskMatch with and without the allow-rest
// flag. Nothing may read outside the mask or the source, an output must end
// with its NUL, and the start-position shortcuts must find what the full
// engine finds.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/masks/builtin_masks.h"
#include "base/masks/mask_engine.h"

namespace {

using namespace talmoor::masks;

struct Found {
  std::size_t start;
  std::size_t length;
  bool operator==(const Found&) const = default;
};

std::vector<Found> everyOccurrence(std::string_view source, std::string_view mask) {
  std::vector<Found> found;
  MaskSearch(source, mask, [&](const MaskOccurrence& o, MaskReply&) {
    found.push_back({o.start, o.length});
    return MaskVerdict::Accept;
  });
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t options = data[0];
  const std::size_t maskLength = std::min<std::size_t>(data[1], size - 2);
  // Copies of exactly the given length, so that ASan sees any read past them.
  const std::vector<char> maskBytes(data + 2, data + 2 + maskLength);
  const std::vector<char> sourceBytes(data + 2 + maskLength, data + size);
  std::string_view mask(maskBytes.data(), maskBytes.size());
  std::string_view source(sourceBytes.data(), sourceBytes.size());
  if (options & 0x80) mask = filePathMask();
  if ((options & 0xC0) == 0x40) mask = indirectStringMask();

  std::size_t calls = 0;
  auto decide = [&](const MaskOccurrence& o, MaskReply& reply) {
    if (o.start + o.length > o.source.size() || o.sourceLastIndex + 1 != o.source.size()) std::abort();
    const std::uint8_t byte = source.empty() ? 0 : static_cast<std::uint8_t>(source[calls++ % source.size()]);
    switch (byte % 8) {
      case 0: case 1: case 2:
        return MaskVerdict::Accept;
      case 3:
        reply.giveBack = byte >> 3;
        return MaskVerdict::Accept;
      case 4: case 5:
        reply.replacement = std::string(byte >> 4, 'R');
        reply.giveBack = (byte >> 3) & 1;
        return MaskVerdict::Accept;
      case 6:
        return MaskVerdict::Reject;
      default:
        return (options & 1) ? MaskVerdict::Abort : MaskVerdict::Reject;
    }
  };

  std::string output = "before";
  const MaskResult searched = MaskSearch(source, mask, decide, &output);
  if (searched == MaskResult::Aborted && output != "before") std::abort();
  if (output != "before" && (output.empty() || output.back() != '\0')) std::abort();

  MaskMatch(source, mask, decide, false);
  MaskMatch(source, mask, {}, true);

  // The same mask behind an operator without a meaning takes the full path
  // at every start position; it must find the same occurrences.
  if (!mask.empty() && source.size() < 256) {
    std::string plain = "%Z";
    plain.append(mask);
    if (everyOccurrence(source, mask) != everyOccurrence(source, plain)) std::abort();
  }
  return 0;
}
