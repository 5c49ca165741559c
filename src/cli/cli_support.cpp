#include "cli/cli_support.h"

#include <unistd.h>

#include <iostream>

#include <fmt/format.h>

#include "platform/error_detail.h"
#include "platform/registry/win32_registry.h"
#include "platform/win32_error_text.h"

namespace talmoor::cli {

int reportFailure(std::string_view what, LONG code) {
  std::string text = platform::systemErrorText(code).value_or(fmt::format("Error {}.", code));
  std::string detail = platform::takeErrorDetail();
  if (!detail.empty()) text += fmt::format(" ({})", detail);
  std::cerr << fmt::format("talmoor-cli: {}: {}\n", what, text);
  return kExitFailure;
}

int reportProblem(std::string_view what, std::string_view problem) {
  std::cerr << fmt::format("talmoor-cli: {}: {}\n", what, problem);
  return kExitFailure;
}

bool confirm(const std::string& question) {
  if (!::isatty(STDIN_FILENO)) {
    std::cerr << fmt::format("{} (Yes/No)? No: not asked without a terminal; use --force\n", question);
    return false;
  }
  for (;;) {
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    if (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES") return true;
    if (answer == "n" || answer == "N" || answer == "no" || answer == "No" || answer == "NO") return false;
  }
}

LONG openKeyArgument(const KeyArgument& key, REGSAM access, HKEY& handle) {
  HKEY root = key.root;
  KeyHandle remote;
  if (!key.machine.empty()) {
    if (LONG rc = RegConnectRegistryA(key.machine.c_str(), key.root, remote.out()); rc != ERROR_SUCCESS) return rc;
    root = remote.get();
  }
  return RegOpenKeyExA(root, key.subkey.c_str(), 0, access, &handle);
}

namespace {
LONG readInto(ValueRead& out, const auto& read) {
  DWORD size = 0;
  if (LONG rc = read(nullptr, &size); rc != ERROR_SUCCESS) return rc;
  // The value may grow between the two reads; try again while it does.
  for (int attempt = 0; attempt < 8; ++attempt) {
    out.data.resize(size);
    LONG rc = read(out.data.data(), &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return rc;
    out.data.resize(size);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}
}  // namespace

LONG readValue(HKEY key, const std::string& name, ValueRead& out) {
  out.name = name;
  return readInto(out, [&](BYTE* data, DWORD* size) {
    return RegQueryValueExA(key, name.c_str(), nullptr, &out.type, data, size);
  });
}

LONG readValueAt(HKEY key, DWORD index, ValueRead& out) {
  DWORD longestName = 0;
  if (LONG rc = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                                 nullptr, nullptr, nullptr);
      rc != ERROR_SUCCESS)
    return rc;
  std::vector<char> name(longestName + 1);
  return readInto(out, [&](BYTE* data, DWORD* size) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    LONG rc = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &out.type, data, size);
    if (rc == ERROR_SUCCESS) out.name.assign(name.data(), nameLength);
    return rc;
  });
}

KeyHandle::~KeyHandle() {
  if (handle_) RegCloseKey(handle_);
}

}  // namespace talmoor::cli
