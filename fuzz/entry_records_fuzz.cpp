// Fuzz target for the clipboard and drag entry records: the first byte
// chooses one record or a list, the rest is the block. Any input must be
// refused with a reason, or give records that write back to the same bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "browse/entry_records.h"

using namespace talmoor::browse;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::span<const std::uint8_t> block(data + 1, size - 1);
  std::string problem;
  std::vector<std::uint8_t> written;
  if (data[0] & 1) {
    auto records = decodeEntryList(block, problem);
    if (!records) {
      if (problem.empty()) std::abort();
      return 0;
    }
    written = encodeEntryList(*records);
  } else {
    auto record = decodeEntry(block, problem);
    if (!record) {
      if (problem.empty()) std::abort();
      return 0;
    }
    written = encodeEntry(*record);
  }
  if (!std::equal(written.begin(), written.end(), block.begin(), block.end())) std::abort();
  return 0;
}
