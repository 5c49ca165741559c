#pragma once
// talmoor-cli search: a search of the registry, and row modes over its rows.

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace talmoor::cli {

struct SearchRequest {
  std::string mode = "find";
  std::string find;
  std::string replace;
  std::optional<std::string> start;
  bool unicode = false;
  std::optional<unsigned> first;
  std::optional<unsigned> minimum;
  std::optional<unsigned> maximum;
  bool keys = false, values = false, data = false;
  std::optional<std::string> types;
  bool allTypes = false;
  bool alwaysMatchOn = false, alwaysMatchOff = false;
  bool mask = false;
  bool noConfirm = false;
  std::vector<std::string> then;  // MODE[:FIND[:REPLACE]]
};

CLI::App* addSearchVerb(CLI::App& app, SearchRequest& request);
int runSearch(const SearchRequest& request);

}  // namespace talmoor::cli
