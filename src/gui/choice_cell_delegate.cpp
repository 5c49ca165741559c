#include "gui/choice_cell_delegate.h"

#include <QComboBox>
#include <QSpinBox>

namespace talmoor::gui {

ChoiceCellDelegate::ChoiceCellDelegate(int choicesRole, std::optional<int> numberMinimum, QObject* parent)
    : QStyledItemDelegate(parent), choicesRole_(choicesRole), numberMinimum_(numberMinimum) {}

QWidget* ChoiceCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
  const QString column = index.model()->headerData(index.column(), Qt::Horizontal).toString();
  const QVariant choices = index.data(choicesRole_);
  QWidget* editor = nullptr;
  if (choices.isValid()) {
    auto* box = new QComboBox(parent);
    box->addItems(choices.toStringList());
    // A choice made is the edit: no second key press to confirm it.
    connect(box, &QComboBox::activated, this, [this, box] {
      auto* self = const_cast<ChoiceCellDelegate*>(this);
      emit self->commitData(box);
      emit self->closeEditor(box);
    });
    editor = box;
  } else {
    editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* number = qobject_cast<QSpinBox*>(editor); number && numberMinimum_) number->setMinimum(*numberMinimum_);
  }
  if (editor) editor->setAccessibleName(column);
  return editor;
}

void ChoiceCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
  if (auto* box = qobject_cast<QComboBox*>(editor)) {
    box->setCurrentIndex(box->findText(index.data(Qt::EditRole).toString()));
    return;
  }
  QStyledItemDelegate::setEditorData(editor, index);
}

void ChoiceCellDelegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
  if (auto* box = qobject_cast<QComboBox*>(editor)) {
    model->setData(index, box->currentText());
    return;
  }
  QStyledItemDelegate::setModelData(editor, model, index);
}

}  // namespace talmoor::gui
