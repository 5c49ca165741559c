#pragma once
// An item view that starts its drags with data its window makes, and tells
// the window how the drop went (copy, move, or nothing), so that the window
// decides what a move means for what was dragged.

#include <QDrag>
#include <QMimeData>
#include <functional>
#include <memory>

namespace talmoor::gui {

template <class View>
class DragSourceView : public View {
 public:
  using View::View;

  std::function<std::unique_ptr<QMimeData>()> dragData;
  // The drop's action, and whether it went to a window of this program.
  std::function<void(Qt::DropAction, bool inside)> dragFinished;

 protected:
  void startDrag(Qt::DropActions actions) override {
    if (!dragData) return;
    std::unique_ptr<QMimeData> data = dragData();
    if (!data) return;
    // The drag belongs to the view until it is over (Qt's parent ownership).
    auto* drag = new QDrag(this);
    drag->setMimeData(data.release());
    const Qt::DropAction done = drag->exec(actions, Qt::CopyAction);
    const bool inside = drag->target() != nullptr;
    drag->deleteLater();
    if (dragFinished) dragFinished(done, inside);
  }
};

}  // namespace talmoor::gui
