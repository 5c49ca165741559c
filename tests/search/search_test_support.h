#pragma once
// Helpers shared by the search tests: a throwaway registry with scripted
// boxes, the search options back at their defaults, and short ways to put
// values in and read them out again.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "base/error_log.h"
#include "base/error_reporting.h"
#include "support/scripted_interaction.h"
#include "platform/registry/win32_registry.h"
#include "registry/access/registry_access.h"
#include "search/search_options.h"
#include "search/search_parameters.h"
#include "support/test_registry.h"
#include "base/workspace.h"
#include "platform/thread_context.h"

namespace talmoor::search::searchtest {

inline constexpr const char* kBase = "HKEY_LOCAL_MACHINE\\Software\\T";

inline std::vector<BYTE> bytes(std::string_view text) { return {text.begin(), text.end()}; }
// A string value's bytes with their terminator.
inline std::vector<BYTE> sz(std::string_view text) {
  std::vector<BYTE> out(text.begin(), text.end());
  out.push_back(0);
  return out;
}
// Bytes as text without their trailing terminators.
inline std::string trimmed(const std::vector<BYTE>& data) {
  std::string text(data.begin(), data.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// The dialogs' result numbers, as scripted answers hand them back.
inline constexpr int kAccept = dialogResult(ConfirmationAnswer::Accept);
inline constexpr int kReject = dialogResult(ConfirmationAnswer::Reject);
inline constexpr int kCancel = dialogResult(ConfirmationAnswer::Cancel);

inline SearchParameters parameters(int mode, std::string find, std::string replacement = {}) {
  SearchParameters p;
  p.mode = mode;
  p.findText = std::move(find);
  p.replaceText = std::move(replacement);
  return p;
}

// The caption of every confirmation asked so far.
inline std::vector<std::string> captions(const ScriptedInteraction& scripted) {
  std::vector<std::string> out;
  for (const auto& request : scripted.confirmations()) out.push_back(request.caption);
  return out;
}

// "code key | value | context" of every error log row.
inline std::vector<std::string> logLines() {
  std::vector<std::string> lines;
  for (const auto& r : errorLog().rows())
    lines.push_back(std::to_string(r.code) + " " + r.keyPath + " | " + r.valueName + " | " + r.context);
  return lines;
}

// A condition the test waits for, with a generous limit: a fault fails the
// test instead of hanging it.
class Latch {
 public:
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  bool wait(std::chrono::seconds limit = std::chrono::seconds(20)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return open_; });
  }
  bool isOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
};

// A wait that must end: when it does not, the process stops with a message,
// since a thread stuck in the code under test would keep it from ending.
inline void mustFinish(const std::function<void()>& work, const char* what,
                       std::chrono::seconds limit = std::chrono::seconds(60)) {
  auto done = std::make_shared<Latch>();
  std::thread([work, done, context = platform::threadContext()] {
    platform::ThreadContextScope working(context);
    work();
    done->open();
  }).detach();
  if (!done->wait(limit)) {
    std::fprintf(stderr, "FATAL: %s did not finish within %lld s\n", what, static_cast<long long>(limit.count()));
    std::abort();
  }
}

class SearchTest : public ::testing::Test {
 protected:
  SearchTest() : installed_(scripted_) {
    resetSearchOptions();
    setErrorBoxesSuppressed(false);
    errorLog().clear();
    errorLog().setWindowOpen(true);
    scripted_->setDefaultAnswer(IDNO);
  }
  ~SearchTest() override {
    errorLog().setWindowOpen(false);
    errorLog().clear();
    setErrorBoxesSuppressed(false);
    resetSearchOptions();
  }

  // Stores the current options as `change` leaves them.
  template <class Change>
  static void changeOptions(Change&& change) {
    SearchOptions options = currentSearchOptions();
    change(options);
    storeSearchOptions(options);
  }

  // Creates the key (and the keys above it) below HKEY_LOCAL_MACHINE.
  static void makeKey(std::string_view path) {
    HKEY key = 0;
    ASSERT_TRUE(registry::openOrCreateKey("", 0, path, key)) << path;
    registry::closeKey(key);
  }
  static void put(std::string_view path, std::string_view name, DWORD type, const std::vector<BYTE>& data) {
    HKEY key = 0;
    ASSERT_TRUE(registry::openOrCreateKey("", 0, path, key)) << path;
    std::string n(name);
    ASSERT_EQ(RegSetValueExA(key, n.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    registry::closeKey(key);
  }
  static void putSz(std::string_view path, std::string_view name, std::string_view text) {
    put(path, name, REG_SZ, sz(text));
  }
  static registry::ReportTo quiet() {
    return registry::ReportTo([](const ErrorReport&) { return true; });
  }
  static registry::ScopedKey openForReading(std::string_view path) {
    return registry::ScopedKey(registry::openKeyByPath(path, registry::kReadKeyAccess, quiet()));
  }
  // The value's type and data, or nothing when it does not exist.
  static std::optional<std::pair<DWORD, std::vector<BYTE>>> stored(std::string_view path, std::string_view name) {
    registry::ScopedKey key = openForReading(path);
    std::pair<DWORD, std::vector<BYTE>> out;
    if (!key.get() || registry::queryValue(key.get(), name, out.first, out.second, quiet()) != ERROR_SUCCESS)
      return std::nullopt;
    return out;
  }
  static std::optional<std::vector<BYTE>> read(std::string_view path, std::string_view name) {
    auto value = stored(path, name);
    if (!value) return std::nullopt;
    return std::move(value->second);
  }
  static std::optional<std::string> readText(std::string_view path, std::string_view name) {
    auto data = read(path, name);
    if (!data) return std::nullopt;
    return trimmed(*data);
  }
  static bool keyExists(std::string_view path) { return openForReading(path).get() != 0; }
  // Every value of a key by name.
  static std::map<std::string, std::string> values(std::string_view path) {
    std::map<std::string, std::string> out;
    registry::ScopedKey key = openForReading(path);
    if (!key.get()) return out;
    registry::EnumerationRequest request(key.get());
    registry::enumerateValues("", request, [&](const registry::ValueVisit& visit) {
      out[std::string(visit.name)] = visit.data ? trimmed(*visit.data) : std::string();
      return 0;
    });
    return out;
  }

  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
};

}  // namespace talmoor::search::searchtest
