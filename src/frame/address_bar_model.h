#pragma once
// The address bar: the "Computer", "Hive" and "Path" boxes, the texts that
// explain them, and the history of the locations visited.

#include <string>
#include <string_view>
#include <vector>

namespace talmoor::frame {

inline constexpr std::string_view kComputerTip =
    "Select a connected computer to browse.\n(If the computer you require does not appear in the list, right "
    "click on the Key Tree and select 'Remote'->'Connect')";
inline constexpr std::string_view kHiveTip = "Select a registry Hive to browse into.";
inline constexpr std::string_view kPathTip =
    "Type the path you wish to goto or select a previously visited location from the drop down list.";

// The machine this program runs on, as the Computer box lists it.
inline constexpr std::string_view kLocalComputer = "(Local Computer)";

// A location split into the three boxes.
struct AddressParts {
  std::string computer;  // kLocalComputer or a machine name
  std::string hive;      // "HKEY_LOCAL_MACHINE", ...
  std::string path;      // below the hive; may be empty
};

class AddressBarModel {
 public:
  static constexpr std::size_t kHistoryLength = 32;

  AddressBarModel();

  const std::vector<std::string>& computers() const { return computers_; }
  const std::vector<std::string>& hives() const { return hives_; }
  // Most recent first.
  const std::vector<std::string>& history() const { return history_; }

  // A machine connected (or disconnected) elsewhere.
  void addComputer(std::string name);
  void removeComputer(std::string_view name);

  // Puts a visited location at the top of the history, once.
  void visit(const std::string& fullPath);

  // The full path the boxes stand for: a typed path that starts with a root
  // name ("HKLM\Software", "HKEY_USERS") stands on its own; any other is taken
  // below the chosen hive. A machine other than this one comes first, as
  // "\\machine\".
  static std::string resolve(std::string_view computer, std::string_view hive, std::string_view typed);
  // The boxes for a full path.
  static AddressParts split(std::string_view fullPath);

 private:
  std::vector<std::string> computers_;
  std::vector<std::string> hives_;
  std::vector<std::string> history_;
};

}  // namespace talmoor::frame
