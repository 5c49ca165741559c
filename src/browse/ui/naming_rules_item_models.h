#pragma once
// Qt's view of the "Naming Rules" window's two lists: the rule list and the
// name list of the selected rule, both over one NamingRulesModel. The
// adapters only translate rows and roles; the edits and their limits are the
// headless model's.
//
// The name list shows whichever rule the headless model has selected, so the
// rule adapter changes the selection and tells the name adapter, before it
// changes rows of its own that would take the shown rule away.

#include <QAbstractTableModel>
#include <QStringList>
#include <optional>

#include "browse/naming_rules_model.h"

namespace talmoor::browse::ui {

// The choices of a cell edited with a drop-down (QStringList); invalid for
// the other cells.
inline constexpr int kChoicesRole = Qt::UserRole + 1;

class NameTableModel;

class RuleTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  RuleTableModel(NamingRulesModel& rules, NameTableModel& names, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  // The name list follows the rule at `row` (none: an empty name list).
  void selectRule(std::optional<int> row);
  // Returns the new rule's row, or nothing for an empty text.
  std::optional<int> addRule(const QString& firstName);
  void removeRule(int row);
  void clearRules();
  // A list read from a file in place of this one; no rule is selected after.
  void setRules(std::vector<NamingRule> rules);

 signals:
  void edited();

 private:
  NamingRulesModel& rules_;
  NameTableModel& names_;
};

class NameTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit NameTableModel(NamingRulesModel& rules, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  bool hasRule() const { return rules_.selectedRule().has_value(); }
  std::optional<int> addName(const QString& name);
  void removeName(int row);
  // The selected rule's names replaced by a list read from a file.
  bool setNames(std::vector<NameEntry> names);

  // Around a change of the rule list that may change which names are shown.
  void beginRuleChange() { beginResetModel(); }
  void endRuleChange() { endResetModel(); }

 signals:
  void edited();

 private:
  NamingRulesModel& rules_;
};

}  // namespace talmoor::browse::ui
