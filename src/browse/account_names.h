#pragma once
// The accounts a profile knows, for naming keys whose names are security
// identifiers (HKEY_USERS\S-1-5-21-...). There is no account database to ask
// offline: the well-known identifiers are the same everywhere, and the
// profile's users are the folders its ProfileList names (and, for a user
// hive mounted without a ProfileList entry, as in a bare Wine prefix, the
// user name its volatile environment holds). Their domain is the profile's
// computer name.

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace talmoor::browse {

struct Account {
  std::string name;
  std::string domain;  // may be empty ("Everyone")
};

// Whether a key name is a security identifier in text form ("S-1-5-18").
bool isSidText(std::string_view text);

class AccountNames {
 public:
  // The accounts of the calling thread's registry, read now.
  static AccountNames fromRegistry();

  void addUser(std::string sid, Account account);
  std::optional<Account> lookup(std::string_view sid) const;

  // How a key named by `sid` is shown: "name (domain)", "Unknown" for what is
  // not known, and the name the key had before after a space.
  std::string displayName(std::string_view sid, std::string_view previous) const;

 private:
  std::map<std::string, Account, std::less<>> users_;  // by upper-case SID text
};

}  // namespace talmoor::browse
