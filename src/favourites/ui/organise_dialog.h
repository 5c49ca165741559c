#pragma once
// "Organise Favourites": a name and a path to add, the list of favourites
// ("&Add" reads "&Delete" while one is selected), and "&Load", "&Save" and
// "&Clear" for the whole list.

#include <QDialog>

#include "favourites/favourites.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace talmoor::favourites::ui {

class OrganiseDialog : public QDialog {
  Q_OBJECT

 public:
  OrganiseDialog(FavouritesModel& model, QString currentPath, QWidget* parent = nullptr);

  QLineEdit* nameField() const { return name_; }
  QLineEdit* pathField() const { return path_; }
  QListWidget* list() const { return list_; }
  QPushButton* addButton() const { return add_; }

  // The buttons' work, for the buttons and for tests.
  void addOrDelete();
  void load(const QString& file);
  void save(const QString& file);
  void clear();

 private:
  void refill();
  void selectionChanged();

  FavouritesModel& model_;
  QLineEdit* name_ = nullptr;
  QLineEdit* path_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* add_ = nullptr;
};

// The file dialogs' filter: "Registry Favourites (*.regfav)", then
// "Registry Files (*.reg)" and "All Files (*)".
QString favouritesFileFilter();

}  // namespace talmoor::favourites::ui
