#include "favourites/ui/organise_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/interaction.h"

namespace talmoor::favourites::ui {

QString favouritesFileFilter() {
  return QObject::tr("Registry Favourites (*.regfav);;Registry Files (*.reg);;All Files (*)");
}

OrganiseDialog::OrganiseDialog(FavouritesModel& model, QString currentPath, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(tr("Organise Favourites"));
  setAccessibleName(tr("Organise Favourites"));
  name_ = new QLineEdit(this);
  name_->setAccessibleName(tr("Name"));
  path_ = new QLineEdit(currentPath, this);
  path_->setAccessibleName(tr("Path"));
  list_ = new QListWidget(this);
  list_->setAccessibleName(tr("Favourites"));
  add_ = new QPushButton(tr("&Add"), this);
  add_->setAccessibleName(tr("Add"));
  auto* load = new QPushButton(tr("&Load"), this);
  load->setAccessibleName(tr("Load"));
  auto* save = new QPushButton(tr("&Save"), this);
  save->setAccessibleName(tr("Save"));
  auto* clearButton = new QPushButton(tr("&Clear"), this);
  clearButton->setAccessibleName(tr("Clear"));
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);

  auto* fields = new QFormLayout;
  fields->addRow(tr("&Name:"), name_);
  fields->addRow(tr("&Path:"), path_);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {add_, load, save, clearButton}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  layout->addWidget(close);

  connect(add_, &QPushButton::clicked, this, &OrganiseDialog::addOrDelete);
  connect(load, &QPushButton::clicked, this, [this] {
    QString file = QFileDialog::getOpenFileName(this, tr("Load Favourites"), QString(), favouritesFileFilter());
    if (!file.isEmpty()) this->load(file);
  });
  connect(save, &QPushButton::clicked, this, [this] {
    QFileDialog dialog(this, tr("Save Favourites"), QString(), favouritesFileFilter());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("regfav"));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
      this->save(dialog.selectedFiles().front());
  });
  connect(clearButton, &QPushButton::clicked, this, &OrganiseDialog::clear);
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemSelectionChanged, this, &OrganiseDialog::selectionChanged);
  refill();
}

void OrganiseDialog::refill() {
  list_->clear();
  for (const auto& favourite : model_.favourites()) {
    auto* item = new QListWidgetItem(QString::fromStdString(shownName(favourite.name)), list_);
    item->setData(Qt::UserRole, favourite.command);
    item->setToolTip(QString::fromStdString(favourite.path));
  }
  selectionChanged();
}

void OrganiseDialog::selectionChanged() {
  add_->setText(list_->selectedItems().isEmpty() ? tr("&Add") : tr("&Delete"));
  add_->setAccessibleName(list_->selectedItems().isEmpty() ? tr("Add") : tr("Delete"));
}

void OrganiseDialog::addOrDelete() {
  if (auto selected = list_->selectedItems(); !selected.isEmpty()) {
    model_.remove(selected.front()->data(Qt::UserRole).toInt());
  } else {
    if (path_->text().trimmed().isEmpty()) return;
    model_.add(name_->text().toStdString(), path_->text().trimmed().toStdString());
    name_->clear();
  }
  refill();
}

void OrganiseDialog::load(const QString& file) {
  model_.loadFrom(file.toStdString());
  refill();
}

void OrganiseDialog::save(const QString& file) { model_.saveTo(file.toStdString()); }

void OrganiseDialog::clear() {
  if (messageBox("Clear the favourites list? This will reset your favourites folder, you should save your favourites "
                 "before clearing them.",
                 "Clear Favourites List?", BoxButtons::YesNo, BoxIcon::Question) != IDYES)
    return;
  model_.clear();
  refill();
}

}  // namespace talmoor::favourites::ui
