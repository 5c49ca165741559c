#pragma once
// Helpers shared by the mask tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/masks/mask_engine.h"

namespace talmoor::masks::masktest {

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

// Whether the mask takes the source; a sound mask is never reported as broken.
inline bool matches(const char* source, std::string_view mask, bool allowRest = false) {
  MaskProblems problems;
  bool matched = MaskMatch(terminated(source), mask, {}, allowRest, &problems) == MaskResult::Match;
  EXPECT_FALSE(problems.any()) << "mask reported broken: " << std::string(mask);
  return matched;
}

// The problems a search with the mask reports.
inline MaskProblems problemsOf(std::string_view source, std::string_view mask, const MaskCallback& callback = {}) {
  MaskProblems problems;
  MaskSearch(source, mask, callback, nullptr, &problems);
  return problems;
}

using MaskFixture = ::testing::Test;

}  // namespace talmoor::masks::masktest
