#pragma once
// A key handle closed when it goes out of scope (the predefined roots are
// never closed: closing one does nothing). The one owner of a key handle
// for every layer.

#include "platform/registry/registry_constants.h"
#include "platform/win32_types.h"

LONG RegCloseKey(HKEY hKey);

namespace talmoor::platform {

class ScopedKey {
 public:
  ScopedKey() = default;
  explicit ScopedKey(HKEY key) : key_(key) {}
  ~ScopedKey() { reset(); }
  ScopedKey(ScopedKey&& other) noexcept : key_(other.release()) {}
  ScopedKey& operator=(ScopedKey&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;

  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != 0; }
  // For the calls that hand a new handle back through a pointer.
  HKEY* out() {
    reset();
    return &key_;
  }
  HKEY release() {
    HKEY key = key_;
    key_ = 0;
    return key;
  }
  void reset(HKEY key = 0) {
    if (key_ && !isPredefinedKey(key_)) RegCloseKey(key_);
    key_ = key;
  }

 private:
  HKEY key_ = 0;
};

}  // namespace talmoor::platform
