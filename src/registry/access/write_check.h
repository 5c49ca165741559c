#pragma once
// The shape of the write gate that every change of the registry passes.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::registry {

// What a change does.
inline constexpr int kWriteDelete = 0;
inline constexpr int kWriteCreate = 1;     // does not exist yet
inline constexpr int kWriteOverwrite = 2;  // exists
inline constexpr int kWriteRename = 3;

struct WriteRequest {
  int action = kWriteCreate;
  std::string_view path;  // the key's path text
  bool isKey = false;
  std::string_view machine;
  HKEY host = 0;
  BYTE flags = 0;
  std::string* name = nullptr;        // may be renamed by the gate
  std::vector<BYTE>* data = nullptr;  // may be changed by the gate; none for keys and deletions
  DWORD type = 0;
};

// The gate's answer, numbered as the gate has always answered.
enum class WriteVerdict : int {
  SkipFailed = 0,      // do not write; the operation fails
  Proceed = 1,         // write
  SkipSucceeded = -1,  // do not write; the item already holds what would be written
};

using WriteCheck = std::function<WriteVerdict(WriteRequest&)>;

}  // namespace talmoor::registry
