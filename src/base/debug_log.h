#pragma once
// What the program says about its own work as it goes (where a Windows
// program writes with OutputDebugString): a bounded list of lines per
// workspace, shown by the Debug window.

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace talmoor {

class DebugLog {
 public:
  static constexpr std::size_t kKeptLines = 5000;

  void add(std::string line);
  std::vector<std::string> lines() const;
  // Called on the writing thread after each line, with the line.
  void setListener(std::function<void(const std::string&)> listener);

 private:
  mutable std::mutex mutex_;
  std::deque<std::string> lines_;
  std::function<void(const std::string&)> listener_;
};

// A line for the Debug window of the calling thread's workspace.
void debugOutput(std::string_view line);

}  // namespace talmoor
