#include "browse/account_names.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"

namespace talmoor::browse {

namespace {

using registry::ReportTo;
using registry::ScopedKey;

struct WellKnown {
  std::string_view sid;
  std::string_view name;
  std::string_view domain;
};

constexpr WellKnown kWellKnown[] = {
    {"S-1-0-0", "NULL SID", ""},
    {"S-1-1-0", "Everyone", ""},
    {"S-1-2-0", "LOCAL", ""},
    {"S-1-3-0", "CREATOR OWNER", ""},
    {"S-1-3-1", "CREATOR GROUP", ""},
    {"S-1-5-1", "DIALUP", "NT AUTHORITY"},
    {"S-1-5-2", "NETWORK", "NT AUTHORITY"},
    {"S-1-5-3", "BATCH", "NT AUTHORITY"},
    {"S-1-5-4", "INTERACTIVE", "NT AUTHORITY"},
    {"S-1-5-6", "SERVICE", "NT AUTHORITY"},
    {"S-1-5-7", "ANONYMOUS LOGON", "NT AUTHORITY"},
    {"S-1-5-11", "Authenticated Users", "NT AUTHORITY"},
    {"S-1-5-18", "SYSTEM", "NT AUTHORITY"},
    {"S-1-5-19", "LOCAL SERVICE", "NT AUTHORITY"},
    {"S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY"},
    {"S-1-5-32-544", "Administrators", "BUILTIN"},
    {"S-1-5-32-545", "Users", "BUILTIN"},
    {"S-1-5-32-546", "Guests", "BUILTIN"},
    {"S-1-5-32-547", "Power Users", "BUILTIN"},
};

constexpr std::string_view kUnknown = "Unknown";

std::string upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
  return out;
}

// Naming asks quietly: a profile without these keys is no failure.
ReportTo quiet() {
  return ReportTo([](const ErrorReport&) { return false; });
}

std::optional<std::string> readText(HKEY key, std::string_view name) {
  DWORD type = 0;
  std::vector<BYTE> data;
  if (registry::queryValue(key, name, type, data, quiet()) != ERROR_SUCCESS) return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  std::string text(data.begin(), std::find(data.begin(), data.end(), BYTE{0}));
  if (text.empty()) return std::nullopt;
  return text;
}

std::string lastPathComponent(std::string_view path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.remove_suffix(1);
  auto cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

}  // namespace

bool isSidText(std::string_view text) {
  if (text.size() < 5 || (text[0] != 'S' && text[0] != 's') || text[1] != '-') return false;
  // Digits and single dashes only; the parser checks the rest.
  for (char c : text.substr(2))
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '-') return false;
  return platform::sidFromString(text).has_value();
}

AccountNames AccountNames::fromRegistry() {
  AccountNames accounts;
  std::string domain;
  if (ScopedKey key(registry::openKeyByPath(
          "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
          registry::kReadKeyAccess, quiet()));
      key.get())
    domain = readText(key.get(), "ComputerName").value_or("");
  if (domain.empty()) domain = kUnknown;

  if (ScopedKey list(registry::openKeyByPath("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                                             registry::kReadKeyAccess, quiet()));
      list.get()) {
    for (const auto& sid : registry::subkeyNames(list.get(), quiet())) {
      if (!isSidText(sid)) continue;
      ScopedKey profile;
      REGSAM access = registry::kReadKeyAccess;
      if (registry::openKey("", list.get(), sid, *profile.out(), access) != ERROR_SUCCESS) continue;
      if (auto path = readText(profile.get(), "ProfileImagePath"); path && !lastPathComponent(*path).empty())
        accounts.addUser(sid, {lastPathComponent(*path), domain});
    }
  }
  // A user hive mounted without a ProfileList entry.
  if (ScopedKey users(registry::openKeyByPath("HKEY_USERS", registry::kReadKeyAccess, quiet())); users.get()) {
    for (const auto& sid : registry::subkeyNames(users.get(), quiet())) {
      if (!isSidText(sid) || accounts.lookup(sid)) continue;
      ScopedKey environment;
      REGSAM access = registry::kReadKeyAccess;
      if (registry::openKey("", users.get(), sid + "\\Volatile Environment", *environment.out(), access) !=
          ERROR_SUCCESS)
        continue;
      if (auto name = readText(environment.get(), "USERNAME")) accounts.addUser(sid, {*name, domain});
    }
  }
  return accounts;
}

void AccountNames::addUser(std::string sid, Account account) { users_[upper(sid)] = std::move(account); }

std::optional<Account> AccountNames::lookup(std::string_view sid) const {
  const std::string key = upper(sid);
  for (const auto& known : kWellKnown)
    if (known.sid == key) return Account{std::string(known.name), std::string(known.domain)};
  if (auto found = users_.find(key); found != users_.end()) return found->second;
  return std::nullopt;
}

std::string AccountNames::displayName(std::string_view sid, std::string_view previous) const {
  auto account = lookup(sid);
  std::string text = account ? account->name : std::string(kUnknown);
  // A well-known group without a domain ("Everyone") is shown by its name alone.
  if (!account || !account->domain.empty())
    text += " (" + (account ? account->domain : std::string(kUnknown)) + ")";
  if (!previous.empty()) text += " " + std::string(previous);
  return text;
}

}  // namespace talmoor::browse
