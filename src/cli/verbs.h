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

// copy and move, in the manner of reg copy: the values (and with
// `recursive`, or always for a move, the subkeys) of one key into another,
// or one value.
struct CopyRequest {
  std::string source;
  std::string destination;
  std::optional<std::string> value;
  bool unnamed = false;
  bool recursive = false;
  bool force = false;
  bool move = false;
};

int runQuery(const QueryRequest& request);
int runAdd(const AddRequest& request);
int runDelete(const DeleteRequest& request);
int runCopy(const CopyRequest& request);

}  // namespace talmoor::cli
