#include "cli/row_output.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iostream>

#include <fmt/format.h>

namespace talmoor::cli {

using namespace talmoor::search;

const char* markText(int mark) {
  switch (mark) {
    case kMarkNotDone: return "not done";
    case kMarkDone: return "done";
    case kMarkBinaryInString: return "binary in string";
    default: return "";
  }
}

void printRows(const ResultList& list, bool terminal) {
  auto rows = list.rows();
  const char* headers[] = {"Mark", "Hive", "Key", "SubKey", "Value", "Data"};
  auto cells = [](const ResultRow& row) {
    std::string mark = markText(row.statusMark);
    if (row.selected) mark = mark.empty() ? "selected" : mark + ", selected";
    return std::array<std::string, 6>{mark, row.hive, row.key, row.subKey, row.value, row.data};
  };
  if (!terminal) {
    for (const auto& row : rows) {
      auto c = cells(row);
      std::cout << fmt::format("{}\t{}\t{}\t{}\t{}\t{}\n", c[0], c[1], c[2], c[3], c[4], c[5]);
    }
    return;
  }
  std::array<std::size_t, 6> widths{};
  for (int i = 0; i < 6; ++i) widths[i] = std::strlen(headers[i]);
  constexpr std::size_t kWidest = 60;
  for (const auto& row : rows) {
    auto c = cells(row);
    for (int i = 0; i < 6; ++i) widths[i] = std::min(kWidest, std::max(widths[i], c[i].size()));
  }
  auto line = [&](const std::array<std::string, 6>& c) {
    std::string out;
    for (int i = 0; i < 6; ++i) {
      std::string cell = c[i].size() > widths[i] ? c[i].substr(0, widths[i] - 1) + "~" : c[i];
      out += i == 5 ? cell : fmt::format("{:<{}}  ", cell, widths[i]);
    }
    std::cout << out << "\n";
  };
  line({headers[0], headers[1], headers[2], headers[3], headers[4], headers[5]});
  for (const auto& row : rows) line(cells(row));
}

}  // namespace talmoor::cli
