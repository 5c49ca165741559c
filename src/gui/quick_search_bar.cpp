#include "gui/quick_search_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace talmoor::gui {

QuickSearchBar::QuickSearchBar(const QuickSearchNames& names, QWidget* parent) : QWidget(parent) {
  scope_ = new QCheckBox(names.scope, this);
  scope_->setAccessibleName(names.scope);
  scope_->setChecked(true);
  edit_ = new QLineEdit(this);
  edit_->setAccessibleName(names.edit);
  edit_->setToolTip(names.editTip);
  actual_ = new QCheckBox(tr("Actual"), this);
  actual_->setAccessibleName(names.actual);
  actual_->setToolTip(
      tr("Tick this box to search on the Value Name, untick to search using against the translated name."));
  button_ = new QPushButton(tr("Quick Search"), this);
  button_->setAccessibleName(names.button);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scope_);
  layout->addWidget(edit_, 1);
  layout->addWidget(actual_);
  layout->addWidget(button_);
}

}  // namespace talmoor::gui
