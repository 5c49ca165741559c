// The hex editor on a value of 8,000,000 bytes: a byte typed into the middle
// (and taken out again, so every run starts from the same length) must stay
// well under 50 ms to feel immediate; a page of rows formatted as the number
// pane draws them shows what a repaint costs apart from the painter.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "hexedit/hex_editor.h"

namespace {

using namespace talmoor::hexedit;

constexpr std::size_t kBig = 8'000'000;

HexEditor& bigEditor(std::shared_ptr<std::vector<BYTE>>& bytes) {
  static HexEditor editor;
  bytes = std::make_shared<std::vector<BYTE>>(kBig);
  for (std::size_t i = 0; i < kBig; ++i) (*bytes)[i] = static_cast<BYTE>(i);
  editor.editShared(bytes);
  editor.setMemoryKind(MemoryKind::OwnAllocator);
  editor.setGeometry(FontMetrics{8, 8, 15}, 1024, 768);
  editor.focusIn(true);
  return editor;
}

void InsertByteInTheMiddle(benchmark::State& state) {
  std::shared_ptr<std::vector<BYTE>> bytes;
  HexEditor& editor = bigEditor(bytes);
  for (auto _ : state) {
    editor.placeCaret(Position{Pane::Text, kBig / 2, 0});
    editor.type("Z");
    editor.pressKey(Key::Backspace, false, false);
    benchmark::DoNotOptimize(bytes->data());
  }
  state.counters["bytes"] = static_cast<double>(bytes->size());
}
BENCHMARK(InsertByteInTheMiddle)->Unit(benchmark::kMillisecond);

void FormatOnePageNearTheEnd(benchmark::State& state) {
  std::shared_ptr<std::vector<BYTE>> bytes;
  HexEditor& editor = bigEditor(bytes);
  editor.gotoOffset("7a0000");
  for (auto _ : state) {
    std::size_t characters = 0;
    const std::size_t first = editor.firstOffset();
    const std::size_t last = std::min(bytes->size(), first + editor.layout().bytesPerPage());
    for (std::size_t at = first; at < last; ++at) characters += formatByte((*bytes)[at], Radix::Binary).size();
    benchmark::DoNotOptimize(characters);
  }
}
BENCHMARK(FormatOnePageNearTheEnd)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
