#pragma once
// Handing work from a worker to the GUI thread: queued, so the worker never
// waits and never touches a widget itself.

#include <QObject>
#include <utility>

namespace talmoor::gui {

// Runs `work` on the thread `context` lives on, later; dropped when the
// context is gone by then.
template <class Work>
void postToGui(QObject* context, Work&& work) {
  QMetaObject::invokeMethod(context, std::forward<Work>(work), Qt::QueuedConnection);
}

}  // namespace talmoor::gui
