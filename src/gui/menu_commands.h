#pragma once
// Menus whose actions carry their command numbers as data: walking every
// command of a menu and its submenus (to enable them for what is selected).

#include <QMenu>
#include <functional>

namespace talmoor::gui {

inline void forEachCommand(QMenu* menu, const std::function<void(QAction*, int command)>& visit) {
  for (QAction* action : menu->actions()) {
    if (action->menu())
      forEachCommand(action->menu(), visit);
    else if (action->data().isValid())
      visit(action, action->data().toInt());
  }
}

}  // namespace talmoor::gui
