#pragma once
// Running a window's slow work on a worker: the work runs there, and the
// answer comes back to the GUI thread, to a window that may have closed
// meanwhile (then it is dropped).

#include <QApplication>
#include <QPointer>
#include <functional>

#include "base/thread_starter.h"
#include "gui/gui_thread.h"

namespace talmoor::gui {

template <class Context>
void inBackground(Context* context, std::function<bool()> work, std::function<void(bool)> done) {
  QPointer<Context> guard(context);
  startThread([guard, work = std::move(work), done = std::move(done)]() -> DWORD {
    const bool ok = work();
    postToGui(qApp, [guard, done, ok] {
      if (guard) done(ok);
    });
    return 0;
  });
}

}  // namespace talmoor::gui
