#pragma once
// Comparing names as the browsers compare them: ignoring the case of ASCII
// letters (other characters compare by their bytes, which keeps UTF-8 names
// in a stable order).

#include <algorithm>
#include <cctype>
#include <string_view>

namespace talmoor::browse {

inline unsigned char foldCase(char c) {
  return static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
}

inline bool lessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return foldCase(x) < foldCase(y); });
}

inline bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return foldCase(x) == foldCase(y); });
}

inline bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalIgnoringCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace talmoor::browse
