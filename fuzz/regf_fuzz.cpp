// Fuzz target for the regf hive reader and writer: any input is either
// refused with HiveFormatError or read (with whatever damage it reports)
// into a tree that the writer can write; what we wrote must read back
// without damage, as the same tree, and write out byte for byte the same.
//
// Seeds: the corpus hives cut to their first bins, which keeps runs fast
// (fuzz/make-seeds.sh).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/registry/hive_format_error.h"
#include "platform/registry/regf_reader.h"
#include "platform/registry/regf_writer.h"

namespace tp = talmoor::platform;

namespace {

// Everything the tree holds that the file keeps, as text.
void describe(const tp::KeyNode& key, std::string& out) {
  out += "K";
  out.append(reinterpret_cast<const char*>(key.name().data()), key.name().size() * 2);
  out += key.isLink ? "L" : "-";
  out += key.className ? "C" + std::string(reinterpret_cast<const char*>(key.className->data()),
                                           key.className->size() * 2)
                       : "-";
  out += std::to_string(key.lastWrite) + ":" + std::to_string(key.subkeys().size()) + "\n";
  for (const auto& value : key.values()) {
    out += "V";
    out.append(reinterpret_cast<const char*>(value.name.data()), value.name.size() * 2);
    out += ":" + std::to_string(value.type) + ":" + std::to_string(value.data.size()) + ":";
    out.append(reinterpret_cast<const char*>(value.data.data()), value.data.size());
    out += "\n";
  }
  for (const auto& child : key.subkeys()) describe(*child, out);
}

std::string write(const tp::KeyNode& root) {
  tp::RegfWriteOptions options;
  options.timestamp = 1;  // the same bytes for the same tree
  return tp::writeRegfHive(root, options);
}

tp::RegfHive read(const std::string& bytes) {
  return tp::readRegfHive({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, "written.hiv");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tp::RegfHive first;
  try {
    first = tp::readRegfHive(std::span<const std::uint8_t>(data, size), "fuzz.hiv");
  } catch (const tp::HiveFormatError&) {
    return 0;
  }
  if (first.damage.size() > tp::kMaxDamageTexts + 1) std::abort();

  std::string written = write(*first.root);
  tp::RegfHive second = read(written);
  if (!second.damage.empty() || second.dirtyOnDisk) std::abort();
  std::string before, after;
  describe(*first.root, before);
  describe(*second.root, after);
  if (before != after) std::abort();
  if (write(*second.root) != written) std::abort();
  return 0;
}
