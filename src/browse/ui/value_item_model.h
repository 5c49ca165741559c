#pragma once
// The value list as a Qt table: Name, Data, Type, Size. The rows come from a
// reading worker, whole, for one key; the newest refresh wins. Edits of a
// name or a type are handed to the window, which makes them registry changes.

#include <QAbstractTableModel>
#include <atomic>
#include <memory>

#include "browse/value_list.h"

namespace talmoor::browse::ui {

class ValueItemModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Role { RawNameRole = Qt::UserRole + 1, TypeRole, IsNewRole };

  explicit ValueItemModel(QObject* parent = nullptr);
  ~ValueItemModel() override;

  ValueList& list() { return list_; }
  const ValueList& list() const { return list_; }

  // Reads the key's values on a worker; an older reading still running is
  // told to stop, and only the newest one's rows are shown. `quiet`: the key
  // of a root or "My Computer", whose failure to open says nothing.
  void refresh(const std::string& keyPath, bool quiet = false);
  // Shows nothing (the key being refreshed is gone).
  void clear();
  // Whether a reading is under way (a newer one waits).
  bool reading() const { return reading_ > 0; }
  bool waitIdle(int timeoutMs = 30000);

  // A new "(Untitled)" row being named; its row number.
  int addNewRow(DWORD type);
  void removeRow(int row);
  // The row again as the registry holds it now.
  void reloadRow(int row, const std::string& rawName);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  Qt::DropActions supportedDragActions() const override;
  Qt::DropActions supportedDropActions() const override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 signals:
  void refreshed(const QString& keyPath, bool opened);
  void nameEdited(int row, const QString& text);
  void typeChosen(int row, DWORD type);

 private:
  ValueList list_;
  std::shared_ptr<std::atomic<bool>> cancel_;
  int reading_ = 0;
  std::uint64_t generation_ = 0;
};

}  // namespace talmoor::browse::ui
