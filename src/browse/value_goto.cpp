#include "browse/value_goto.h"

#include <array>
#include <vector>

#include "browse/browse_text.h"
#include "browse/naming_rules.h"
#include "registry/access/registry_access.h"

namespace talmoor::browse {

namespace {

constexpr std::string_view kMachine = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kEnum = "System\\CurrentControlSet\\Enum";
constexpr std::string_view kServices = "System\\CurrentControlSet\\Services";

// Value names whose data names a key directly (below the Enum key for "Enum",
// below the classes for the two ProgIDs).
struct NamedKey {
  std::string_view valueName;
  std::string_view root;
  std::string_view path;
};
constexpr std::array kNamedKeys{
    NamedKey{"Enum", kMachine, kEnum},
    NamedKey{"ProgID", "HKEY_CLASSES_ROOT", ""},
    NamedKey{"VersionIndependentProgID", "HKEY_CLASSES_ROOT", ""},
    NamedKey{"BaseDevicePath", kMachine, kEnum},
    NamedKey{"DeviceInstance", kMachine, kEnum},
    NamedKey{"HardwareID", kMachine, kEnum},
    NamedKey{"MatchingDeviceId", kMachine, kEnum},
    NamedKey{"Service", kMachine, kServices},
    NamedKey{"ActiveService", kMachine, kServices},
    NamedKey{"LocalService", kMachine, kServices},
    NamedKey{"DependOnService", kMachine, kServices},
    NamedKey{"UpperFilters", kMachine, kServices},
    NamedKey{"LowerFilters", kMachine, kServices},
};

// Path forms in data: the prefix, and the key below HKEY_LOCAL_MACHINE it stands for.
struct PathForm {
  std::string_view prefix;
  std::string_view path;
};
constexpr std::array kPathForms{
    PathForm{"\\REGISTRY\\MACHINE\\", ""},
    PathForm{"SOFTWARE\\", "Software"},
    PathForm{"SYSTEM\\", "System"},
    PathForm{"CurrentControlSet\\", "System\\CurrentControlSet"},
    PathForm{"Setup\\", "System\\Setup"},
    PathForm{"MountedDevices\\", "System\\MountedDevices"},
    PathForm{"Root\\", "System\\CurrentControlSet\\Enum\\Root"},
    PathForm{"ACPI\\", "System\\CurrentControlSet\\Enum\\ACPI"},
};

std::string join(std::string_view root, std::string_view path, std::string_view subkey) {
  std::string out(root);
  if (!path.empty()) out.append("\\").append(path);
  if (!subkey.empty()) out.append("\\").append(subkey);
  return out;
}

bool keyExists(const std::string& path) {
  registry::ScopedKey key(registry::openKeyByPath(path, registry::kReadKeyAccess,
                                                  registry::ReportTo([](const ErrorReport&) { return true; }, path)));
  return key.get() != 0;
}

// The strings in the data: one for a string, each for a multi-string.
std::vector<std::string> dataStrings(DWORD type, std::span<const BYTE> data) {
  std::vector<std::string> out;
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ && type != REG_LINK) return out;
  std::string current;
  for (BYTE b : data) {
    if (b == 0) {
      if (!current.empty()) out.push_back(std::move(current));
      current.clear();
      if (type != REG_MULTI_SZ) break;
    } else {
      current.push_back(static_cast<char>(b));
    }
  }
  if (!current.empty()) out.push_back(std::move(current));
  return out;
}

std::optional<std::string> fromGuid(std::string_view text) {
  if (!isGuidText(text)) return std::nullopt;
  std::vector<std::string> forms;
  if (auto braced = bracedGuid(text)) forms.push_back(*braced);
  forms.emplace_back(text);
  for (const auto& form : forms)
    for (const auto& location : guidLocations()) {
      std::string path = join(location.root, location.path, form);
      if (keyExists(path)) return path;
    }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> gotoTarget(std::string_view valueName, DWORD type, std::span<const BYTE> data) {
  const auto strings = dataStrings(type, data);
  for (const auto& named : kNamedKeys) {
    if (!equalIgnoringCase(valueName, named.valueName)) continue;
    for (const auto& text : strings) {
      std::string path = join(named.root, named.path, text);
      if (keyExists(path)) return path;
    }
  }
  for (const auto& text : strings)
    for (const auto& form : kPathForms) {
      if (!startsWithIgnoringCase(text, form.prefix)) continue;
      std::string path = join(kMachine, form.path, std::string_view(text).substr(form.prefix.size()));
      if (keyExists(path)) return path;
    }
  if (auto path = fromGuid(valueName)) return path;
  for (const auto& text : strings)
    if (auto path = fromGuid(text)) return path;
  return std::nullopt;
}

}  // namespace talmoor::browse
