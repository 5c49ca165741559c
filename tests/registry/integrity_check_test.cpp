// The value integrity check against filters on the documented calls that hide a
// value's tail, change its bytes or change between readings; Query value's native path.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/error_log.h"
#include "support/scripted_interaction.h"
#include "platform/registry/win32_registry.h"
#include "platform/text/code_page.h"
#include "registry/integrity_check.h"
#include "search/search_options.h"
#include "support/test_registry.h"
#include "base/workspace.h"

namespace {

using namespace talmoor;
using namespace talmoor::registry;
namespace tp = talmoor::platform;

constexpr const char* kKeyPath = "HKEY_LOCAL_MACHINE\\Software\\Checked";
using Bytes = std::vector<BYTE>;

// Stands for software that hooks the documented calls: changes what they give of one value.
class HookFilter : public tp::RegistryFilter {
 public:
  HookFilter(std::u16string name, std::function<void(Bytes&)> change) : name_(std::move(name)), change_(change) {}
  bool filterValue(std::u16string_view, std::u16string_view name, DWORD&, Bytes& data) override {
    if (name == name_) change_(data);
    return true;
  }

 private:
  std::u16string name_;
  std::function<void(Bytes&)> change_;
};

// The native call as the tests see it: counted, with something that may
// happen right after each reading that fills a buffer.
int g_nativeCalls = 0;
std::function<void()> g_afterNativeRead;
NTSTATUS observedNativeCall(HKEY key, const UNICODE_STRING* name, KEY_VALUE_INFORMATION_CLASS kind, void* buffer,
                            ULONG length, ULONG* result) {
  ++g_nativeCalls;
  NTSTATUS status = ZwQueryValueKey(key, name, kind, buffer, length, result);
  if (buffer && g_afterNativeRead) g_afterNativeRead();
  return status;
}
NTSTATUS refusingNativeCall(HKEY, const UNICODE_STRING*, KEY_VALUE_INFORMATION_CLASS, void*, ULONG, ULONG*) {
  return STATUS_INVALID_HANDLE;
}

class IntegrityCheckTest : public ::testing::Test {
 protected:
  IntegrityCheckTest() : installed_(scripted_) {
    previous_ = setNativeEntryPoints({&observedNativeCall, &LsaNtStatusToWinError});
    setIntegrityCheckEnabled(true);
    setErrorBoxesSuppressed(false);
    errorLog().clear();
    g_nativeCalls = 0;
    EXPECT_EQ(createKeyPrimitive("", HKEY_LOCAL_MACHINE, "Software\\Checked", key_, kAllKeyAccess), ERROR_SUCCESS);
  }
  ~IntegrityCheckTest() override {
    closeKey(key_);
    g_afterNativeRead = nullptr;
    setNativeEntryPoints(previous_);
    search::resetSearchOptions();
    accessOptions().intelligentConversion = true;
    errorLog().clear();
    errorLog().setWindowOpen(false);
  }

  void set(const char* name, DWORD type, const Bytes& data) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
  }
  void hook(std::u16string name, std::function<void(Bytes&)> change) {
    registry_.host().addFilter(std::make_shared<HookFilter>(std::move(name), std::move(change)));
  }

  ReportTo recording() {
    return ReportTo(
        [this](const ErrorReport& r) {
          findings_.push_back(std::string(r.secondaryName) + " | " + std::string(r.context) + " | " +
                              std::to_string(r.code) + " | " + std::to_string(r.verbosity));
          return false;
        },
        kKeyPath);
  }
  static std::string finding(const char* name, const char* text, int verbosity) {
    return std::string(name) + " | " + text + " | 1014 | " + std::to_string(verbosity);
  }

  // What a value walk delivers, by name.
  std::map<std::string, std::pair<DWORD, Bytes>> walk(HKEY key, const ReportTo& report) {
    std::map<std::string, std::pair<DWORD, Bytes>> delivered;
    EnumerationRequest request(key, 0, 0, report);
    enumerateValues("", request, [&](const ValueVisit& v) {
      delivered[std::string(v.name)] = {v.type, *v.data};
      return 0;
    });
    return delivered;
  }

  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
  NativeEntryPoints previous_;
  HKEY key_ = 0;
  std::vector<std::string> findings_;
};

TEST_F(IntegrityCheckTest, HiddenTailAndChangedBytesAreReportedAndTheNativeDataDelivered) {
  const std::string shell = "explorer.exe C:\\Windows\\hidden.exe";
  set("Shell", REG_SZ, Bytes(shell.c_str(), shell.c_str() + shell.size() + 1));
  set("Flags", REG_BINARY, {1, 0, 0, 0});
  set("Plain", REG_BINARY, {7, 7});
  hook(u"Shell", [](Bytes& data) { data.resize(data.size() / 2); });  // the second program is cut off
  hook(u"Flags", [](Bytes& data) { data[0] = 0; });                   // the same length, other bytes

  auto delivered = walk(key_, recording());
  EXPECT_EQ(delivered["Shell"], std::make_pair(DWORD{REG_SZ}, Bytes(shell.c_str(), shell.c_str() + shell.size() + 1)));
  EXPECT_EQ(delivered["Flags"].second, (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(delivered["Plain"].second, (Bytes{7, 7}));
  EXPECT_EQ(findings_, (std::vector<std::string>{finding("Shell", kCheckHiddenText, kVerbosityBox),
                                                 finding("Flags", kCheckDisguisedText, kVerbosityBox)}));
}

TEST_F(IntegrityCheckTest, ValuesChangingBetweenTheReadingsAreInFluxAndStillRead) {
  // A filter whose answer differs from one call to the next. Fluxation is logged without a box.
  set("Counter", REG_BINARY, {1, 2, 3});
  BYTE next = 100;
  hook(u"Counter", [&](Bytes& data) { data.back() = next++; });
  errorLog().setWindowOpen(true);
  auto delivered = walk(key_, ReportTo(defaultErrorHandler, kKeyPath));
  EXPECT_EQ(delivered["Counter"].second, (Bytes{1, 2, 3}));
  EXPECT_TRUE(scripted_->boxes().empty());
  auto rows = errorLog().rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].valueName, "Counter");
  EXPECT_EQ(rows[0].context, kCheckInFluxText);

  // Another program writes a value whose tail a filter hides, right after
  // its first native reading: the latest stored data is delivered.
  set("Moving", REG_BINARY, {1, 2, 3});
  hook(u"Moving", [](Bytes& data) { data.resize(2); });
  bool written = false;
  g_afterNativeRead = [&] {
    if (!std::exchange(written, true)) set("Moving", REG_BINARY, {9, 9, 9, 9});
  };
  DWORD type = REG_BINARY;
  Bytes data{1, 2};
  EnumerationRequest request(key_, 0, 0, recording());
  EXPECT_EQ(checkValue(key_, "Moving", type, data, request), CheckState::InFlux);
  EXPECT_EQ(data, (Bytes{9, 9, 9, 9}));
  EXPECT_EQ(findings_, std::vector<std::string>{finding("Moving", kCheckInFluxText, kVerbositySilent)});
}

TEST_F(IntegrityCheckTest, NamesTheNativeCallCannotTake) {
  DWORD type = REG_BINARY;
  Bytes data{42};
  EnumerationRequest request(key_, 0, 0, recording());
  EXPECT_EQ(checkValue(key_, "Bad\xFF name", type, data, request), CheckState::NameFailed);  // not UTF-8
  EXPECT_EQ(data, Bytes{42});
  // A value gone when the native call looks is no finding.
  EXPECT_EQ(checkValue(key_, "Absent", type, data, request), CheckState::Agree);
  EXPECT_EQ(findings_, std::vector<std::string>{finding("Bad\xFF name", kCheckNameFailedText, kVerbosityBox)});
}

TEST_F(IntegrityCheckTest, NothingIsCheckedWithTheOptionOffOnARootHandleOrWithoutTheNativeCall) {
  set("Tail", REG_BINARY, {1, 2, 3, 4});
  ASSERT_EQ(RegSetValueExA(HKEY_LOCAL_MACHINE, "Tail", 0, REG_BINARY, Bytes{1, 2, 3, 4}.data(), 4), ERROR_SUCCESS);
  hook(u"Tail", [](Bytes& data) { data.resize(1); });
  auto options = search::currentSearchOptions();
  options.tamperCheck = 0;
  search::storeSearchOptions(options);
  EXPECT_EQ(walk(key_, recording())["Tail"].second, Bytes{1});
  search::resetSearchOptions();

  EXPECT_EQ(walk(HKEY_LOCAL_MACHINE, recording())["Tail"].second, Bytes{1});
  setNativeEntryPoints({&observedNativeCall, nullptr});
  EXPECT_EQ(walk(key_, recording())["Tail"].second, Bytes{1});
  EXPECT_EQ(g_nativeCalls, 0);
  EXPECT_TRUE(findings_.empty());

  setNativeEntryPoints({&observedNativeCall, &LsaNtStatusToWinError});
  EXPECT_EQ(walk(key_, recording())["Tail"].second, (Bytes{1, 2, 3, 4}));
}

TEST_F(IntegrityCheckTest, QueryValueReadsAroundTheFilters) {
  set("Text", REG_SZ, {'a', 0xC3, 0xA9, 'z', 0});  // "aéz"
  hook(u"Text", [](Bytes& data) { data.resize(2); });
  DWORD type = 0;
  Bytes data;
  ASSERT_EQ(queryValue(key_, "Text", type, data, recording()), ERROR_SUCCESS);
  EXPECT_EQ(data, (Bytes{'a', 0xC3, 0xA9, 'z', 0}));
  // Without "Inteligent Conversion" the stored UTF-16 comes as it is.
  accessOptions().intelligentConversion = false;
  ASSERT_EQ(queryValue(key_, "Text", type, data, recording()), ERROR_SUCCESS);
  EXPECT_EQ(data, tp::bytesFromUtf16(u"a\u00e9z", true));
  accessOptions().intelligentConversion = true;

  // UTF-16 without an ANSI form stays UTF-16, with a log row saying so.
  const Bytes broken = tp::bytesFromUtf16(u"x\xD800y", true);
  ASSERT_EQ(RegSetValueExW(key_, u"Broken", 0, REG_MULTI_SZ, broken.data(), static_cast<DWORD>(broken.size())),
            ERROR_SUCCESS);
  errorLog().setWindowOpen(true);
  ASSERT_EQ(queryValue(key_, "Broken", type, data, recording()), ERROR_SUCCESS);
  EXPECT_EQ(data, broken);
  auto rows = errorLog().rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].context, kUnicodeKeptText);

  // A handle the native call refuses makes the query use the ANSI call.
  setNativeEntryPoints({&refusingNativeCall, &LsaNtStatusToWinError});
  ASSERT_EQ(queryValue(key_, "Text", type, data, recording()), ERROR_SUCCESS);
  EXPECT_EQ(data, Bytes{'a'});
  EXPECT_TRUE(findings_.empty());
}

}  // namespace
