#pragma once
// The registry verbs of talmoor-cli, in the words and output of the reg command.

#include <optional>
#include <string>

#include "cli/output_format.h"

namespace talmoor::cli {

struct QueryRequest {
  std::string key;
  std::optional<std::string> value;
  bool unnamed = false;  // the unnamed value (--default), as value ""
  bool recursive = false;
  bool display = false;  // data in Talmoor's display form instead of reg's raw form
  bool times = false;    // each key's last write time
  bool names = false;    // the subkeys with the names, images and overlays naming gives them
  // Records in this form; none for the reg command's own form.
  std::optional<OutputFormat> format;
};

struct AddRequest {
  std::string key;
  std::optional<std::string> value;
  bool unnamed = false;
  std::string type = "REG_SZ";
  std::optional<std::string> data;
  bool force = false;
};

struct DeleteRequest {
  std::string key;
  std::optional<std::string> value;
  bool unnamed = false;
  bool force = false;
};

int runQuery(const QueryRequest& request);
int runAdd(const AddRequest& request);
int runDelete(const DeleteRequest& request);

}  // namespace talmoor::cli
