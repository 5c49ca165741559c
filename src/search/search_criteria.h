#pragma once
// What a search looks for and within which bounds: the mode, the find and
// replacement texts, which names, data and types are searched, the size
// bounds and the range. The options give the flags when a job is made; the
// Search window gives the rest when the search starts and again on Resume.

#include <cstddef>
#include <string>

#include "platform/win32_types.h"

namespace talmoor::search {

// Modes, in the order of the Mode list.
enum SearchMode : int {
  kModeUnset = -1,
  kModeFind = 0,
  kModeModify,
  kModeVerify,
  kModeSelect,
  kModeChange,
  kModeRemove,
  kModeReduce,
  kModeDelete,
};
inline constexpr const char* kModeNames[] = {"Find",   "Modify", "Verify", "Select",
                                             "Change", "Remove", "Reduce", "Delete"};
inline constexpr int kModeCount = 8;

struct SearchCriteria {
  SearchMode mode = kModeUnset;  // until the window has been read
  std::string findText;   // bytes, ANSI or UTF-16; a mask keeps its terminator
  bool findIsMask = false;
  std::string replaceText;
  bool hasReplaceText = false;
  DWORD searchFlags = 0;  // kSearchKeyNames, kSearchValueNames, kSearchValueData
  DWORD typeMask = 0;
  BYTE alwaysMatchOnName = 0;
  DWORD minimumSize = 0;  // 0: no bound
  DWORD maximumSize = 0;
  DWORD rangeLimit = 0;  // 0: the entire range; n: stop after n recorded items

  // Whether a length lies within the size bounds.
  bool withinSizeBounds(std::size_t length) const {
    return (minimumSize == 0 || length >= minimumSize) && (maximumSize == 0 || length <= maximumSize);
  }
};

}  // namespace talmoor::search
