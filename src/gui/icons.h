#pragma once
// The desktop's icons: the freedesktop theme's where the theme has a fitting
// one, else our own, drawn here (a coloured tile with a short sign), at every
// size the screen may ask for.

#include <QIcon>
#include <cstdint>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::gui {

// The program's own icon (the frame, the splash).
QIcon applicationIcon();
// A child window's icon, by its command.
QIcon windowIcon(int command);
// A value type's icon (0 to 12; anything else gets the unknown type's).
QIcon valueTypeIcon(DWORD type);
// The kinds of key a tree shows.
enum class KeyKind { Closed, Open, Link, HiveRoot, Remote, Unreadable };
QIcon keyIcon(KeyKind kind);
// A key browser item's icon: the naming rules' image number (a loaded .ico
// in `iconBytes` when there is one), with the overlay drawn in a corner.
QIcon treeItemIcon(int image, int overlay, const std::vector<std::uint8_t>& iconBytes = {});
// A result row's status mark (kMarkDone, kMarkNotDone, kMarkBinaryInString);
// none for the others.
QIcon markIcon(int mark);
// Error log images by number (0 device not ready, 1 path or other, 2 access
// denied, 3 file not found).
QIcon errorImageIcon(int image);

}  // namespace talmoor::gui
