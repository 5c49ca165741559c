// Fuzz target for the registry script reader and the value line writer. Any
// input is read (ANSI or UTF-16, whole or cut short by a read failure)
// without reading outside it; the counts add up; and every value the reader
// hands over, written again as a value line, reads back with the same name,
// type and bytes.
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//     fuzz/script_reader_fuzz.cpp src/scripts/*.cpp src/app/interaction.cpp \
//     src/app/console_interaction.cpp src/app/error_reporting.cpp src/app/error_log.cpp \
//     src/registry/root_keys.cpp src/platform/text/code_page.cpp src/platform/win32_error_text.cpp \
//     src/platform/error_detail.cpp src/platform/last_error.cpp -lfmt -o script_reader_fuzz
//
// Seed it with scripts the tests write and the corpus export (both encodings).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/interaction.h"
#include "scripts/script_reader.h"
#include "scripts/script_text.h"

namespace {

using namespace talmoor::scripts;

struct Quiet : talmoor::Interaction {
  int messageBox(const talmoor::MessageBoxRequest&) override { return talmoor::IDOK; }
};

struct Value {
  std::string name;
  DWORD type;
  std::vector<BYTE> data;
};

class Collector : public ScriptVisitor {
 public:
  bool onKey(const ScriptKey&) override { return true; }
  bool onValue(ScriptValue& value) override {
    if (value.unnamed && !value.name.empty()) std::abort();
    // Names with a 0 byte cannot be registry names; the writer ends them there.
    if (!value.dataError && value.name.find('\0') == std::string::npos)
      values.push_back({value.name, value.type, std::move(value.data)});
    return true;
  }
  std::vector<Value> values;
};

void checkCounts(const ReadResult& result) {
  if (result.counts.entries != result.counts.keys + result.counts.values) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static talmoor::ScopedInteraction quiet(std::make_shared<Quiet>());
  // A copy of exactly the given length, so that ASan sees any read past it.
  const std::vector<char> bytes(data, data + size);
  const std::string_view input(bytes.data(), bytes.size());

  Collector first;
  ReadResult result = readScript(input, first, "fuzz.reg", false);
  checkCounts(result);
  if (result.counts.values < first.values.size()) std::abort();
  Collector cut;
  checkCounts(readScript(input, cut, "fuzz.reg", true));

  // What was read, written out again, reads back the same.
  std::string script = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Fuzz]\r\n";
  for (const auto& v : first.values) script += formatValueLine(v.name, v.type, v.data);
  Collector again;
  ReadResult reread = readScript(script, again, "written.reg", false);
  if (reread.status != ReadStatus::Completed || again.values.size() != first.values.size()) std::abort();
  for (std::size_t i = 0; i < first.values.size(); ++i) {
    const Value& a = first.values[i];
    const Value& b = again.values[i];
    if (a.name != b.name || a.type != b.type || a.data != b.data) std::abort();
  }
  return 0;
}
