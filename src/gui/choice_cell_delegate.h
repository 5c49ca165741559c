#pragma once
// In-place editing of a table whose cells are either text or a choice: a cell
// whose model gives choices (under `choicesRole`) gets a drop-down of them,
// and choosing one is the edit; the others get Qt's own editor. Every editor
// is named for screen readers after its column.

#include <QStyledItemDelegate>
#include <optional>

namespace talmoor::gui {

class ChoiceCellDelegate : public QStyledItemDelegate {
 public:
  // `numberMinimum` bounds the number fields of number cells (none: Qt's).
  ChoiceCellDelegate(int choicesRole, std::optional<int> numberMinimum, QObject* parent);

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void setEditorData(QWidget* editor, const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;

 private:
  int choicesRole_;
  std::optional<int> numberMinimum_;
};

}  // namespace talmoor::gui
