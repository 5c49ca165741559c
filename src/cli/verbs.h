#pragma once
// The registry verbs of talmoor-cli, in the words and output of the reg command.

#include <optional>
#include <string>

namespace talmoor::cli {

struct QueryRequest {
  std::string key;
  std::optional<std::string> value;  // "" for the unnamed value
  bool recursive = false;
  bool display = false;  // data in Talmoor's display form instead of reg's raw form
};

struct AddRequest {
  std::string key;
  std::optional<std::string> value;
  std::string type = "REG_SZ";
  std::optional<std::string> data;
  bool force = false;
};

struct DeleteRequest {
  std::string key;
  std::optional<std::string> value;
  bool force = false;
};

int runQuery(const QueryRequest& request);
int runAdd(const AddRequest& request);
int runDelete(const DeleteRequest& request);

}  // namespace talmoor::cli
