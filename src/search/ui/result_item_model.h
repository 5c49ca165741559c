#pragma once
// The search results as a Qt table: "Hive", "Key", "SubKey", "Value", "Data"
// (and "Replacement" once a Reduce job has added it), with the value's type
// image and the rows' status marks. The rows live in the ResultList, which
// the search thread fills; the list's notices come to the GUI thread in
// batches, and each batch is told to the views as a few runs of inserted or
// removed rows, so a search that lists a hundred thousand rows keeps the
// window responsive.
//
// Cells are read from the list as it is now; the model's row count follows
// the notices it has applied, so between a change on another thread and the
// batch that tells of it a cell may show its neighbour's text. Once the
// batch is applied the two agree.

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <memory>
#include <vector>

#include "gui/batched_inbox.h"
#include "search/results/result_list.h"

namespace talmoor::search::ui {

class ResultItemModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Role {
    StatusMarkRole = Qt::UserRole + 1,  // the row's status mark (kMarkDone, ...)
    ColumnMarkRole,                     // the cell's own mark (Verify marks each column)
    TypeImageRole,                      // the value's type image; -1 for a key row
    SelectedRole,                       // the row's selected flag as the list holds it
  };

  // Installs itself as the list's listener (a list has one).
  explicit ResultItemModel(std::shared_ptr<ResultList> list, QObject* parent = nullptr);
  ~ResultItemModel() override;

  const std::shared_ptr<ResultList>& list() const { return list_; }
  // The row behind a model row, as the list holds it now (none past its end).
  std::shared_ptr<const ResultRow> rowAt(int row) const;

  // Applies every change the list has told of so far (otherwise done in
  // batches, a few dozen times a second at most).
  void flushNow();
  // Whether changes wait for their batch.
  bool pending() const { return inbox_->pending(); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Always ascending, case-insensitively (the order asked for is not used:
  // sorting a column twice keeps it ascending).
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 signals:
  // The list was emptied by Clear.
  void listCleared();
  // The rows were put in a new order (the model was reset).
  void listSorted();

 private:
  void apply(std::vector<ResultListChange>& changes);
  QIcon icon(int base, int mark) const;

  std::shared_ptr<ResultList> list_;
  std::shared_ptr<gui::BatchedInbox<ResultListChange>> inbox_;
  int rows_ = 0;  // the rows the views have been told of
  bool replacement_ = false;
  mutable QHash<int, QIcon> icons_;
};

}  // namespace talmoor::search::ui
