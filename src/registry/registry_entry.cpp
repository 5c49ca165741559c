#include "registry/registry_entry.h"

#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"
#include "registry/root_keys.h"

namespace talmoor::registry {

namespace {

bool isUtf16Text(const std::vector<BYTE>& data) {
  if (data.size() < 2 || data.size() % 2) return false;
  for (std::size_t i = 1; i < data.size(); i += 2)
    if (data[i] != 0) return false;  // ANSI text widened: every high byte 0
  return true;
}

std::vector<BYTE> narrowed(const std::vector<BYTE>& wide) {
  std::string ansi = platform::wideToAnsi(platform::utf16FromBytes(wide));
  return std::vector<BYTE>(ansi.begin(), ansi.end());
}

std::vector<BYTE> widened(const std::vector<BYTE>& ansi) {
  return platform::bytesFromUtf16(
      platform::ansiToWide(std::string_view(reinterpret_cast<const char*>(ansi.data()), ansi.size())));
}

}  // namespace

RegistryEntry::RegistryEntry() : structureSize(sizeof(RegistryEntry)) {}

RegistryEntry::RegistryEntry(const RegistryEntry& other) : structureSize(sizeof(RegistryEntry)) { *this = other; }

RegistryEntry& RegistryEntry::operator=(const RegistryEntry& other) {
  if (this == &other) return *this;
  closeBoth();
  structureSize = other.structureSize;
  fullPathLength = other.fullPathLength;
  valueNameLength = other.valueNameLength;
  reserved1 = other.reserved1;
  reserved2 = other.reserved2;
  handler = other.handler;
  handlerContext = other.handlerContext;
  root_ = other.root_;
  machine_ = other.machine_;
  keyPath_ = other.keyPath_;
  keyName_ = other.keyName_;
  fullPath_.reset();
  // Each copy owns handles of its own to the keys the source has open.
  auto copyOf = [](const platform::ScopedKey& handle) {
    HKEY key = handle.get();
    return key == 0 || isRootHandle(key) ? key : duplicateKeyHandle(key);
  };
  keyHandle_.reset(copyOf(other.keyHandle_));
  parentHandle_.reset(copyOf(other.parentHandle_));
  return *this;
}

void RegistryEntry::invalidate() {
  fullPath_.reset();
  closeBoth();
}

bool RegistryEntry::setComponent(Components mask, std::string_view text) {
  if (mask.bits() < kValueName.bits() || mask == kParentPath || mask == kKeyPathAndName || mask == kFullKeyPath)
    invalidate();
  switch (mask.bits()) {
    case kMachine.bits(): machine_ = "\\\\" + std::string(text) + "\\"; return true;
    case kRoot.bits(): root_ = rootFromText(text); return root_ != 0;
    case kKeyPath.bits(): keyPath_ = std::string(text); return true;
    case kKeyName.bits(): keyName_ = std::string(text); return true;
    case kValueName.bits():
      valueName_ = std::string(text);
      valueNameLength = static_cast<DWORD>(text.size() + 1);
      return true;
    case kKeyPathAndName.bits(): {
      std::string path(text);
      if (path.empty() || path.front() != '\\') path.insert(path.begin(), '\\');
      auto cut = path.rfind('\\');
      keyName_ = path.substr(cut + 1);
      keyPath_ = path.substr(0, cut);
      return true;
    }
    case kParentPath.bits():
    case kFullKeyPath.bits(): {
      std::string_view rest = text;
      machine_.reset();
      if (auto split = splitMachine(text)) {
        machine_ = "\\\\" + split->machine + "\\";
        rest = text.substr(text.size() - split->rest.size());
      }
      root_ = rootFromText(rest);
      if (root_) {
        auto cut = rest.find('\\');
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut);
      }
      std::string remainder(rest);
      if (!remainder.empty() && remainder.front() != '\\') remainder.insert(remainder.begin(), '\\');
      if (mask == kFullKeyPath) {
        if (remainder.empty()) {
          keyPath_.reset();
          keyName_.reset();
        } else {
          auto cut = remainder.rfind('\\');
          keyName_ = remainder.substr(cut + 1);
          keyPath_ = remainder.substr(0, cut);
        }
        fullPath_ = std::string(text);
      } else {
        keyPath_ = remainder;
      }
      return true;
    }
    default: return false;
  }
}

void RegistryEntry::setRoot(HKEY root) {
  invalidate();
  root_ = root;
}

void RegistryEntry::clearComponent(Components mask) {
  if (mask.includes(kMachine | kRoot | kKeyPath | kKeyName)) invalidate();
  fullPath_.reset();
  if (mask.includes(kMachine)) machine_.reset();
  if (mask.includes(kRoot)) root_ = 0;
  if (mask.includes(kKeyPath)) keyPath_.reset();
  if (mask.includes(kKeyName)) keyName_.reset();
  if (mask.includes(kValueName)) {
    valueName_.reset();
    valueNameLength = 0;
  }
}

std::optional<std::string> RegistryEntry::component(Components mask) const {
  switch (mask.bits()) {
    case kMachine.bits(): return machine_;
    case kRoot.bits(): return rootName(root_);
    case kKeyPath.bits(): return keyPath_;
    case kKeyName.bits(): return keyName_;
    case kValueName.bits(): return valueName_;
    case kFullKeyPath.bits(): return componentText(kFullKeyPath);
    default: return std::nullopt;
  }
}

std::string RegistryEntry::componentText(Components mask) const {
  switch (mask.bits()) {
    case kMachine.bits(): return machine_.value_or("");
    case kRoot.bits(): return rootName(root_).value_or("");
    case kKeyPath.bits(): return keyPath_.value_or("");
    case kKeyName.bits(): return keyName_.value_or("");
    case kValueName.bits(): return valueName_.value_or("");
    case kParentPath.bits(): return machine_.value_or("") + fullRootName(root_) + keyPath_.value_or("");
    case kKeyPathAndName.bits(): return keyPath_.value_or("") + "\\" + keyName_.value_or("");
    case kFullKeyPath.bits():
      if (!fullPath_) {
        if (!root_) {
          fullPath_ = kEntireRegistryLabel;
        } else {
          fullPath_ = machine_.value_or("") + fullRootName(root_) + keyPath_.value_or("") + "\\" + keyName_.value_or("");
        }
      }
      return *fullPath_;
    default: return {};
  }
}

bool RegistryEntry::hasComponent(Components mask) const {
  if (mask == kFullKeyPath) return keyPath_ || keyName_ || root_ != 0;
  if (mask.includes(kMachine) && !machine_) return false;
  if (mask.includes(kRoot) && !root_) return false;
  if (mask.includes(kKeyPath) && !keyPath_) return false;
  if (mask.includes(kKeyName) && !keyName_) return false;
  if (mask.includes(kValueName) && !valueName_) return false;
  return true;
}

std::string RegistryEntry::name() const { return valueName_ ? *valueName_ : keyName_.value_or(""); }

std::string RegistryEntry::machineName() const {
  if (!machine_) return {};
  std::string name = *machine_;
  while (!name.empty() && name.front() == '\\') name.erase(name.begin());
  while (!name.empty() && name.back() == '\\') name.pop_back();
  return name;
}

HKEY RegistryEntry::open(Handle which, bool quiet) {
  platform::ScopedKey& handle = which == Handle::Key ? keyHandle_ : parentHandle_;
  if (handle) return handle.get();
  std::string path = which == Handle::Key ? componentText(kFullKeyPath) : componentText(kParentPath);
  if (which == Handle::Key && !keyName_ && !keyPath_) path = machine_.value_or("") + fullRootName(root_);
  ReportTo report{quiet ? ErrorHandler([](const ErrorReport&) { return true; }) : handler, path};
  handle.reset(openKeyByPath(path, kDefaultOpenAccess, report, "Opening Key.."));
  return handle.get();
}

void RegistryEntry::close(Handle which) { (which == Handle::Key ? keyHandle_ : parentHandle_).reset(); }

void RegistryEntry::closeBoth() {
  close(Handle::Key);
  close(Handle::Parent);
}

bool RegistryEntry::keyExists() {
  if (!keyName_) return open(Handle::Key, true) != 0;
  HKEY parent = open(Handle::Parent, true);
  return parent && subkeyExists(parent, *keyName_);
}

bool RegistryEntry::valueExists() {
  HKEY key = open(Handle::Key, true);
  return key && registry::valueExists(key, valueName_.value_or(""));
}

void RegistryBuffer::reset() {
  data.clear();
  hasData = false;
  type = kUnknownType;
  location = RegistryEntry();
  location.clearComponent(kValueName);  // assignment keeps the value name
  implicitConversion = false;
}

bool RegistryBuffer::read() {
  HKEY key = location.open(Handle::Key);
  if (!key) return false;
  DWORD readType = 0;
  ReportTo report{location.handler, location.componentText(kFullKeyPath)};
  if (queryValue(key, location.valueName().value_or(""), readType, data, report) != ERROR_SUCCESS) return false;
  hasData = true;
  type = static_cast<int>(readType);
  return true;
}

bool RegistryBuffer::write() {
  HKEY key = location.open(Handle::Key);
  if (!key) return false;
  std::string name = location.valueName().value_or("");
  return RegSetValueExCountedA(key, name, static_cast<DWORD>(type), data.data(), static_cast<DWORD>(data.size())) ==
         ERROR_SUCCESS;
}

bool RegistryBuffer::compare(const RegistryBuffer& other, Components mask) const {
  switch (mask.bits()) {
    case kFullKeyPath.bits(): return location.componentText(kFullKeyPath) == other.location.componentText(kFullKeyPath);
    case kParentPath.bits(): return location.componentText(kParentPath) == other.location.componentText(kParentPath);
    case kKeyName.bits(): return location.keyName() == other.location.keyName();
    case kValueName.bits(): return location.valueName() == other.location.valueName();
    case kData.bits(): return data == other.data;
    default: return false;
  }
}

bool RegistryBuffer::changed(bool keysOnly) {
  bool valueItem = location.valueName().has_value() && !keysOnly;
  if (!(valueItem ? location.valueExists() : location.keyExists())) return true;
  if (!valueItem || !hasData) return false;

  RegistryBuffer current;
  current.location = location;
  current.location.setComponent(kValueName, location.valueName().value_or(""));
  if (!current.read()) return true;
  std::vector<BYTE> registryData = current.data;
  if (type != kUnknownType && current.type != type) return true;
  for (;;) {
    if (registryData.size() == data.size()) return registryData != data;
    if (registryData.size() == data.size() * 2 && isUtf16Text(registryData)) {
      registryData = narrowed(registryData);
      implicitConversion = true;
      continue;
    }
    if (data.size() == registryData.size() * 2 && isUtf16Text(data)) {
      registryData = widened(registryData);
      implicitConversion = true;
      if (registryData.size() != data.size()) return true;
      continue;
    }
    return true;
  }
}

}  // namespace talmoor::registry
