#pragma once
// Reads talmoor-cli's tab-separated output back: a header line, then one
// record per line, with \t \n \r \\ escaped inside fields.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace talmoor::test {

using TsvRecord = std::map<std::string, std::string>;  // header -> field

// Every record; a line whose field count differs from the header's fails
// the calling test.
std::vector<TsvRecord> readTsv(std::string_view text);

// The fields of one line, unescaped.
std::vector<std::string> tsvFields(std::string_view line);

}  // namespace talmoor::test
