#pragma once
// The images of device setup classes. Windows asks setupapi for a class's
// icon; we have no setupapi, so the well-known classes map to images of our
// own set (TreeImage::Class...), and any other class gets the default image.

#include <string_view>

#include "browse/naming_rules.h"

namespace talmoor::browse {

// The image of the class a GUID text names (braced or not, any case);
// `defaultImage` for a class we do not know or a text that is no GUID.
TreeImage loadClassIcon(std::string_view guidText, TreeImage defaultImage = TreeImage::Unknown);

}  // namespace talmoor::browse
