#pragma once
// What the script tests share: boxes and error log rows captured, and a
// visitor that records what the reader hands over.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/error_log.h"
#include "base/error_reporting.h"
#include "support/scripted_interaction.h"
#include "scripts/script_reader.h"
#include "base/workspace.h"

namespace talmoor::test {

struct RecordedValue {
  std::string keyPath;
  std::string name;
  bool unnamed = false;
  DWORD type = 0;
  std::vector<BYTE> data;
};

struct RecordedKey {
  std::string path;
  HKEY root = 0;
};

class RecordingVisitor : public scripts::ScriptVisitor {
 public:
  bool onKey(const scripts::ScriptKey& key) override {
    keys.push_back({std::string(key.path), key.root});
    comments.push_back(key.comment ? std::string(*key.comment) : "<none>");
    return --stopAfter != 0;
  }
  bool onValue(scripts::ScriptValue& v) override {
    values.push_back({std::string(v.keyPath), v.name, v.unnamed, v.type, std::move(v.data)});
    return --stopAfter != 0;
  }
  std::vector<RecordedKey> keys;
  std::vector<std::string> comments;
  std::vector<RecordedValue> values;
  int stopAfter = -1;  // entries until the visitor asks to stop; -1 never
};

inline std::vector<BYTE> bytesOf(std::string_view text, bool terminate = true) {
  std::vector<BYTE> bytes(text.begin(), text.end());
  if (terminate) bytes.push_back(0);
  return bytes;
}

class ScriptFileTest : public ::testing::Test {
 protected:
  ScriptFileTest() : installed_(boxes_) {
    setErrorBoxesSuppressed(false);
    errorLog().clear();
    errorLog().setWindowOpen(true);
  }
  ~ScriptFileTest() override {
    errorLog().setWindowOpen(false);
    errorLog().clear();
  }
  std::vector<std::string> logLines() const {
    std::vector<std::string> lines;
    for (const auto& r : errorLog().rows())
      lines.push_back(std::to_string(r.code) + " " + r.keyPath + " | " + r.valueName + " | " + r.context);
    return lines;
  }
  std::vector<std::string> takeBoxes() {
    auto lines = boxes_->boxLines();
    boxes_->clear();
    return lines;
  }

  std::shared_ptr<ScriptedInteraction> boxes_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_;
};

}  // namespace talmoor::test
