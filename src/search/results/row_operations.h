#pragma once
// Work on result rows: the row modes of a search (Select, Change, Remove,
// Reduce, Delete), the row commands (Goto, Update, Apply), and matching a
// row against a registry location, with user profiles taken as shared when
// the user agrees.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "search/search_context.h"

namespace talmoor::search {

inline constexpr int kRowGoOn = 0;
inline constexpr int kRowStop = -1;

// One row of modes 3-7; `removed` tells the caller the row went.
int rowOperation(ResultList& list, std::size_t index, bool& removed, SearchContext& context);

// Whether any of the row's columns (its stored data for Data) holds the text.
bool rowContains(const ResultRow& row, std::string_view find);

// Pairs of user SIDs that the user agreed share a profile, for this window.
class ProfileTranspositions {
 public:
  bool contains(const std::string& a, const std::string& b) const;
  void add(std::string a, std::string b);
  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// A registry location as rows are matched against it.
struct RowLocation {
  std::string keyPath;  // path text with the root ("HKEY_USERS\S-1-...\Software")
  std::optional<std::string> valueName;  // none for a key
};

// The account name of a SID, or the SID itself where none is found.
using AccountNamer = std::function<std::string(const std::string& sid)>;
void setAccountNamer(AccountNamer namer);

bool rowMatchesLocation(const ResultRow& row, const RowLocation& location, ProfileTranspositions& transpositions);
// The first matching row, or -1.
int findRow(const ResultList& list, const RowLocation& location, ProfileTranspositions& transpositions);

// Adds a registry item as a row unless a row has its location: a value is
// read again first. Returns the new row or -1.
int addRegistryItem(ResultList& list, const RowLocation& location, ProfileTranspositions& transpositions);

// The row commands, run on the selected rows in list order.
enum class RowCommand { Goto = 267, Update = 277, Apply = 278 };
using NavigationRequest = RowLocation;
using Navigator = std::function<void(const NavigationRequest&)>;
void runRowCommand(ResultList& list, RowCommand command, const Navigator& navigate, WindowRef owner = 0);

}  // namespace talmoor::search
