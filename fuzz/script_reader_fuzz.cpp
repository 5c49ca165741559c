// Fuzz target for the registry script reader and the value line writer. Any
// input is read (ANSI or UTF-16, whole or cut short by a read failure)
// without reading outside it; the counts add up; a stop names a line of the
// input; and every value the reader hands over, written again as a value
// line, reads back with the same name, type and bytes, whatever the line
// ends.
//
// The reader tells the user what it cannot read: the boxes go to a
// workspace of this input's own, where nobody answers them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/interaction.h"
#include "base/workspace.h"
#include "scripts/script_reader.h"
#include "scripts/script_text.h"

namespace {

using namespace talmoor::scripts;

// Answers every box as a closed box would, and prints nothing: a box per
// input on stderr would drown libFuzzer's own reports.
struct Quiet : talmoor::Interaction {
  int messageBox(const talmoor::MessageBoxRequest& request) override {
    return request.buttons == talmoor::BoxButtons::Ok ? talmoor::IDOK
           : request.buttons == talmoor::BoxButtons::YesNo ? talmoor::IDNO
                                                           : talmoor::IDCANCEL;
  }
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
    // Names with a 0 byte cannot be carried by a script: the writer leaves them out.
    if (!value.dataError && value.name.find('\0') == std::string::npos)
      values.push_back({value.name, value.type, std::move(value.data)});
    return true;
  }
  std::vector<Value> values;
};

// The counts add up, and a reading that stopped names a line the input has.
void checkResult(const ReadResult& result, std::string_view input) {
  if (result.counts.entries != result.counts.keys + result.counts.values) std::abort();
  std::size_t lines = 1;
  for (std::size_t i = 0; i < input.size(); ++i)
    if (input[i] == '\n' || (input[i] == '\r' && (i + 1 == input.size() || input[i + 1] != '\n'))) ++lines;
  // (UTF-16 input has at most as many lines as bytes.)
  if (result.line > std::max(lines, input.size())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A fresh workspace each time, so that no input leaves error log rows or a
  // "no more boxes" answer behind for the next: a crash must reproduce from
  // its input alone.
  talmoor::WorkspaceScope working(talmoor::Workspace::over(nullptr, std::make_shared<Quiet>()));
  // A copy of exactly the given length, so that ASan sees any read past it.
  const std::vector<char> bytes(data, data + size);
  const std::string_view input(bytes.data(), bytes.size());

  Collector first;
  ReadResult result = readScript(input, first, "fuzz.reg", false);
  checkResult(result, input);
  if (result.counts.values < first.values.size()) std::abort();
  Collector cut;
  checkResult(readScript(input, cut, "fuzz.reg", true), input);

  // What was read, written out again, reads back the same, with the writer's
  // CR LF and with LF or CR alone (the value lines hold no line break of
  // their own but in their hex continuations).
  std::string script = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Fuzz]\r\n";
  for (const auto& v : first.values) script += formatValueLine(v.name, v.type, v.data);
  for (std::string_view end : {"\r\n", "\n", "\r"}) {
    std::string text;
    for (std::size_t at = 0; at < script.size();) {
      std::size_t next = script.find("\r\n", at);
      text.append(script, at, next - at);
      text += end;
      at = next + 2;
    }
    Collector again;
    ReadResult reread = readScript(text, again, "written.reg", false);
    if (reread.status != ReadStatus::Completed || again.values.size() != first.values.size()) std::abort();
    for (std::size_t i = 0; i < first.values.size(); ++i) {
      const Value& a = first.values[i];
      const Value& b = again.values[i];
      if (a.name != b.name || a.type != b.type || a.data != b.data) std::abort();
    }
  }
  return 0;
}
