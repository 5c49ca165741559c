// Pastes and drops of registry entries on a target key: keys are copied
// below it after "Confirm Action", values written into it, keys refused by
// the value list, and records of values that are not in this registry
// written from their own data.

#include <gtest/gtest.h>

#include "browse/entry_transfer.h"
#include "platform/registry/win32_registry.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "support/scripted_interaction.h"
#include "support/test_registry.h"

namespace {

using namespace talmoor;
using namespace talmoor::browse;

class EntryTransferTest : public ::testing::Test {
 protected:
  EntryTransferTest() : installed_(scripted_) {
    EXPECT_TRUE(registry::setStringValue("", 0, "HKEY_LOCAL_MACHINE\\Software\\From", "greeting", "hello"));
    EXPECT_TRUE(registry::setStringValue("", 0, "HKEY_LOCAL_MACHINE\\Software\\From\\Below", "deep", "x"));
    EXPECT_TRUE(registry::setStringValue("", 0, "HKEY_LOCAL_MACHINE\\Software\\To", "", "target"));
  }

  std::optional<std::string> text(const std::string& key, const std::string& name) {
    registry::ScopedKey handle(registry::openKeyByPath(key, registry::kReadKeyAccess, registry::ReportTo{}));
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!handle.get() || registry::queryValue(handle.get(), name, type, data, registry::ReportTo{}) != ERROR_SUCCESS)
      return std::nullopt;
    return std::string(reinterpret_cast<const char*>(data.data()));
  }

  test::TestRegistry registry_;
  std::shared_ptr<ScriptedInteraction> scripted_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
};

TEST_F(EntryTransferTest, KeysGoBelowTheTargetAndValuesIntoIt) {
  const std::string to = "HKEY_LOCAL_MACHINE\\Software\\To";
  auto value = valueRecord("HKEY_LOCAL_MACHINE\\Software\\From", "greeting");
  ASSERT_TRUE(value);
  const std::vector<EntryRecord> records{keyRecord("HKEY_LOCAL_MACHINE\\Software\\From"), *value};
  scripted_->answer({IDYES});
  EXPECT_TRUE(applyEntries(records, to, false, EntryTarget::KeyTree));
  EXPECT_EQ(text(to + "\\From\\Below", "deep"), "x");
  EXPECT_EQ(text(to, "greeting"), "hello");
  EXPECT_EQ(scripted_->boxes().front().title, "Confirm Action");
  // Every value write was a change, titled for the copy.
  for (const auto& asked : scripted_->confirmations()) {
    if (asked.isKey) continue;
    EXPECT_NE(asked.caption.find("Copy Registry Entry"), std::string::npos) << asked.caption;
  }

  // A list of none applies nothing.
  scripted_->clear();
  EXPECT_TRUE(applyEntries({}, to, false, EntryTarget::KeyTree));
  EXPECT_TRUE(scripted_->boxes().empty());
  EXPECT_TRUE(scripted_->confirmations().empty());
}

TEST_F(EntryTransferTest, TheValueListRefusesKeysAndAMovedValueLeavesItsKey) {
  const std::string to = "HKEY_LOCAL_MACHINE\\Software\\To";
  const std::vector<EntryRecord> key{keyRecord("HKEY_LOCAL_MACHINE\\Software\\From")};
  EXPECT_FALSE(applyEntries(key, to, false, EntryTarget::ValueList));
  ASSERT_EQ(scripted_->boxes().size(), 1u);
  EXPECT_EQ(scripted_->boxes()[0].title, "Key to Value conversion unsupported");
  EXPECT_FALSE(text(to + "\\From", "greeting"));

  auto value = valueRecord("HKEY_LOCAL_MACHINE\\Software\\From", "greeting");
  ASSERT_TRUE(value);
  EXPECT_TRUE(applyEntries(std::vector<EntryRecord>{*value}, to, true, EntryTarget::ValueList));
  EXPECT_EQ(text(to, "greeting"), "hello");
  EXPECT_FALSE(text("HKEY_LOCAL_MACHINE\\Software\\From", "greeting"));

  // A record from elsewhere (its key is not here) is written from its data,
  // an empty one with no data at all.
  EntryRecord foreign;
  foreign.keyPath = "HKEY_LOCAL_MACHINE\\Software\\Elsewhere";
  foreign.valueName = "empty";
  foreign.type = REG_BINARY;
  EXPECT_TRUE(applyEntries(std::vector<EntryRecord>{foreign}, to, false, EntryTarget::ValueList));
  registry::ScopedKey handle(registry::openKeyByPath(to, registry::kReadKeyAccess, registry::ReportTo{}));
  DWORD type = 0;
  std::vector<BYTE> data{1};
  ASSERT_EQ(registry::queryValue(handle.get(), "empty", type, data, registry::ReportTo{}), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_TRUE(data.empty());
}

TEST_F(EntryTransferTest, ADroppedFileBecomesAValueOfTheTarget) {
  platform::DroppedFile shortcut;
  shortcut.kind = platform::DroppedFileKind::Shortcut;
  shortcut.valueName = "Notepad";
  shortcut.text = "C:\\Windows\\notepad.exe /p";
  EXPECT_TRUE(applyDroppedFile(shortcut, "HKEY_LOCAL_MACHINE\\Software\\To"));
  EXPECT_EQ(text("HKEY_LOCAL_MACHINE\\Software\\To", "Notepad"), "C:\\Windows\\notepad.exe /p");
}

}  // namespace
