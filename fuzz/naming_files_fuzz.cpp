// Fuzz target for the naming rule and name list readers: the first byte
// chooses the reader, the rest is the file. Any input must be refused with a
// reason or give lists that write back to the same bytes (a file we wrote),
// or to bytes that read back the same (an older file without name lists).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "browse/naming_files.h"

using namespace talmoor::browse;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::span<const std::uint8_t> file(data + 1, size - 1);
  std::string problem;
  if (data[0] & 1) {
    auto names = decodeNameList(file, problem);
    if (!names) {
      if (problem.empty()) std::abort();
      return 0;
    }
    for (const auto& entry : *names)
      if (entry.name.size() > kMaxRecordName || entry.comment.size() > kMaxRecordName) std::abort();
    auto written = encodeNameList(*names);
    if (!std::equal(written.begin(), written.end(), file.begin(), file.end())) std::abort();
    return 0;
  }
  auto rules = decodeRuleList(file, problem);
  if (!rules) {
    if (problem.empty()) std::abort();
    return 0;
  }
  auto written = encodeRuleList(*rules);
  std::string again;
  auto reread = decodeRuleList(written, again);
  if (!reread || *reread != *rules) std::abort();
  return 0;
}
