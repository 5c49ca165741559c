// Builds a large regf hive for the whole-process benchmarks: the keys of a
// source hive repeated under COUNT sibling keys ("Copy0001", ...), so that a
// one-key query can be timed on a hive of any size made of real data.
//
//   talmoor_make_big_hive SOURCE OUT COUNT

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fmt/format.h>

#include "platform/files/atomic_file.h"
#include "platform/registry/regf_reader.h"
#include "platform/registry/regf_writer.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"

namespace tp = talmoor::platform;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: talmoor_make_big_hive SOURCE OUT COUNT\n", stderr);
    return 2;
  }
  const int count = std::atoi(argv[3]);
  std::string bytes;
  if (tp::readWholeFile(argv[1], bytes) != 0) {
    fmt::print(stderr, "cannot read {}\n", argv[1]);
    return 1;
  }
  auto source = tp::readRegfHive({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, argv[1]);
  bytes = {};
  // Every copy holds the very same child nodes: the writer only walks them,
  // so the source is held once however many copies the file gets.
  auto root = std::make_shared<tp::KeyNode>(u"");
  root->lastWrite = source.root->lastWrite;
  root->security = source.root->security;
  for (int i = 1; i <= count; ++i) {
    auto copy = std::make_shared<tp::KeyNode>(tp::ansiToWide(fmt::format("Copy{:04}", i)));
    copy->lastWrite = source.root->lastWrite;
    copy->security = source.root->security;
    for (const auto& value : source.root->values()) copy->appendValue(value);
    for (const auto& child : source.root->subkeys()) copy->addSubkey(child);
    root->addSubkey(copy);
  }
  tp::RegfWriteOptions options;
  options.defaultSecurity = tp::defaultKeySecurity();
  options.rootName = u"BIG";
  std::string out = tp::writeRegfHive(*root, options);
  if (tp::replaceFileAtomically(argv[2], out) != 0) {
    fmt::print(stderr, "cannot write {}\n", argv[2]);
    return 1;
  }
  fmt::print("{}: {} copies of {}, {} bytes\n", argv[2], count, argv[1], out.size());
  return 0;
}
