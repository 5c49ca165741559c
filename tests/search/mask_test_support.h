#pragma once
// Helpers shared by the mask tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "support/scripted_interaction.h"
#include "search/masks/mask_engine.h"

namespace talmoor::search::masktest {

// A mask of several segments, each followed by its NUL, the length counting
// them all.
inline std::string segments(std::initializer_list<std::string_view> parts) {
  std::string mask;
  for (auto part : parts) {
    mask.append(part);
    mask.push_back('\0');
  }
  return mask;
}

// Every occurrence MaskSearch offers and accepts, with a give-back count.
inline std::vector<std::string> occurrences(std::string_view source, std::string_view mask,
                                            std::size_t giveBack = 0) {
  std::vector<std::string> found;
  MaskSearch(source, mask, [&](const MaskOccurrence& occurrence, MaskReply& reply) {
    found.emplace_back(occurrence.text());
    reply.giveBack = giveBack;
    return MaskVerdict::Accept;
  });
  return found;
}

inline bool matches(const char* source, std::string_view mask, bool allowRest = false) {
  return MaskMatch(terminated(source), mask, {}, allowRest) == MaskResult::Match;
}

// Every test sees the boxes the engine shows, and none reach a console.
class MaskFixture : public ::testing::Test {
 protected:
  std::shared_ptr<ScriptedInteraction> boxes_ = std::make_shared<ScriptedInteraction>();
  ScopedInteraction installed_{boxes_};
};

}  // namespace talmoor::search::masktest
