#pragma once
// The frame's life beyond its windows: asking the children whether they may
// close, the locks a closing frame takes once so that no worker is inside
// them, and which subwindows were open, kept in the settings key.

#include <array>
#include <mutex>
#include <span>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::frame {

// A child window's answer to "may the frame close?" (message 0x437 in the
// design). A window that refuses starts whatever lets it agree later (the
// Search window asks its search to stop).
class ClosingVoter {
 public:
  virtual ~ClosingVoter() = default;
  virtual bool queryClose() = 0;
};

// Every child is asked, even after one has refused, so that each can start
// getting ready; true when all agreed.
bool askChildrenToClose(std::span<ClosingVoter* const> children);

// The six locks of the shared registry objects, one per family. Whoever
// works on a family's shared object holds its lock; the closing frame takes
// each once, so that it goes on only when no worker is inside any of them.
enum class SharedFamily { KeyTree, ValueList, Search, Favourites, Security, Clipboard };
class SharedLocks {
 public:
  std::mutex& of(SharedFamily family) { return locks_[static_cast<std::size_t>(family)]; }
  // Waits for each lock in turn, without limit, and lets it go.
  void drain();

 private:
  std::array<std::mutex, 6> locks_;
};

// The subwindows open when the frame last closed, by command; none kept
// gives the default set (the Key Browser, the Value List and the Data
// Viewer). Unknown numbers are left out.
std::vector<int> openWindowsSetting();
void keepOpenWindows(std::span<const int> commands);

// The frame's geometry as the toolkit saves it (opaque bytes).
std::vector<BYTE> frameGeometrySetting();
void keepFrameGeometry(std::span<const BYTE> bytes);

}  // namespace talmoor::frame
