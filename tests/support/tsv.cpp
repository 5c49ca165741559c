#include "support/tsv.h"

#include <gtest/gtest.h>

namespace talmoor::test {

std::vector<std::string> tsvFields(std::string_view line) {
  std::vector<std::string> fields(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == '\t') {
      fields.emplace_back();
      continue;
    }
    if (c == '\\' && i + 1 < line.size()) {
      switch (line[++i]) {
        case 't': c = '\t'; break;
        case 'n': c = '\n'; break;
        case 'r': c = '\r'; break;
        case '\\': c = '\\'; break;
        default: ADD_FAILURE() << "a stray escape in: " << line; c = line[i];
      }
    }
    fields.back() += c;
  }
  return fields;
}

std::vector<TsvRecord> readTsv(std::string_view text) {
  std::vector<TsvRecord> records;
  std::vector<std::string> header;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::vector<std::string> fields = tsvFields(line);
    if (header.empty()) {
      header = std::move(fields);
      continue;
    }
    if (fields.size() != header.size()) {
      ADD_FAILURE() << header.size() << " fields expected in: " << line;
      continue;
    }
    TsvRecord record;
    for (std::size_t i = 0; i < header.size(); ++i) record[header[i]] = std::move(fields[i]);
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace talmoor::test
