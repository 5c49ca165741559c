#include "base/masks/builtin_masks.h"

namespace talmoor::masks {

namespace {

// Each array holds the segments and, from the literal, the final NUL; the
// length passed is given beside it (some masks leave the final NUL out).
constexpr char kFilePath[] = "%<%0, :;|@\0%(\"\0%0-f\0%X:\\%~1 ;\0%*%)\"\0%>%0, ;|@";
constexpr char kQuotedPath[] = "%<%0, :;|@\0%(\"\0%*%)\"\0%>%0, ;|@";
constexpr char kLengthPrefixedPath[] = "%D|%X:\\%$-3";
constexpr char kIndirectString[] = "@%*.%*,%O-\0%D%O@\0%*";
constexpr char kQuotedList[] = "%*%1; ,/\0%*";
constexpr char kNameContinuationA[] = "%!/:*?\"<>\0%>, ;/|";
constexpr char kNameContinuationB[] = "%!/:*?\"<>|\0\\";

static_assert(sizeof kFilePath == 46);
static_assert(sizeof kQuotedPath == 31);
static_assert(sizeof kLengthPrefixedPath == 12);
static_assert(sizeof kIndirectString == 20);
static_assert(sizeof kQuotedList == 12);
static_assert(sizeof kNameContinuationA == 18);
static_assert(sizeof kNameContinuationB == 13);

}  // namespace

std::string_view filePathMask() { return {kFilePath, 46}; }
std::string_view quotedPathMask() { return {kQuotedPath, 31}; }
std::string_view lengthPrefixedPathMask() { return {kLengthPrefixedPath, 11}; }
std::string_view indirectStringMask() { return {kIndirectString, 19}; }
std::string_view quotedListTestMask() { return {kQuotedList, 12}; }
// Counted with its final NUL: without it the delimiter set of the second
// segment would run into the end of the mask, which is a corrupted mask.
std::string_view nameContinuationMaskA() { return {kNameContinuationA, 18}; }
std::string_view nameContinuationMaskB() { return {kNameContinuationB, 13}; }

}  // namespace talmoor::masks
