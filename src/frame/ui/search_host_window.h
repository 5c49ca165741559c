#pragma once
// The Search window's place in the frame until the window itself is built:
// it owns the search driver that the command line's import jobs and the
// File menu's import run on, says how many rows they listed, and votes on
// closing as the Search window does (no while a job runs; the job is asked
// to stop).

#include <QWidget>
#include <memory>

#include "frame/frame_session.h"
#include "search/search_driver.h"

class QLabel;

namespace talmoor::frame::ui {

class SearchHostWindow : public QWidget, public ClosingVoter {
  Q_OBJECT

 public:
  explicit SearchHostWindow(QWidget* parent = nullptr);
  ~SearchHostWindow() override;

  search::SearchDriver& driver() { return *driver_; }
  bool queryClose() override;
  QString statusText() const;

 private:
  void showCount();

  std::shared_ptr<search::ResultList> results_;
  std::unique_ptr<search::SearchDriver> driver_;
  QLabel* status_ = nullptr;
};

}  // namespace talmoor::frame::ui
