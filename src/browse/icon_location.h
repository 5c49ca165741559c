#pragma once
// Icons that registry data names: "DefaultIcon" and "Icon" values hold an
// icon location, a file and a resource number
// ("%SystemRoot%\system32\shell32.dll,-154", "C:\App\app.exe,0", "app.ico"). The file
// is found through the profile's drives and environment as the loader finds
// it, and the icon group read from it as an .ico image (see
// platform/files/pe_resources.h), which the desktop turns into a QIcon.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talmoor::browse {

struct IconLocation {
  std::string file;
  int index = 0;  // 0 and up: the index-th icon; negative: the resource id -index
};

// Splits an icon location: quotes and blanks around the file are dropped; the
// number after the last comma is the index (0 when there is none). Nothing
// for a text that names no file, or names it by a placeholder ("%1", "%*"),
// which stands for the file a command is given, not one we could read.
std::optional<IconLocation> parseIconLocation(std::string_view text);

// Icons read for one naming run, kept by file and index: a branch of
// hundreds of keys usually names the same few files.
class IconCache {
 public:
  // The icon of a location, through the calling thread's drives and
  // environment; nothing when the file or the icon is missing.
  std::optional<std::vector<std::uint8_t>> load(const IconLocation& location);

 private:
  std::map<std::pair<std::string, int>, std::optional<std::vector<std::uint8_t>>> loaded_;
};

}  // namespace talmoor::browse
