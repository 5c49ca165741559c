#pragma once
// Qt's view of the rule base editor: one row a rule, the columns "Find"
// to "Min.Match", cells edited in place. The texts, the edits and their
// limits are RuleEditorModel's; this adapter translates rows and roles and
// says when rows come and go.
//
// The rule base is shared with running Verify searches, which add rules
// while the window is open. The adapter keeps the row count it last told
// the view and takes up the rule base's own again on refresh().

#include <QAbstractTableModel>
#include <filesystem>
#include <optional>

#include "verify/rule_editor.h"

namespace talmoor::verify::ui {

// The choices of a cell edited with a drop-down (QStringList); invalid for
// the cells edited as text.
inline constexpr int kRuleChoicesRole = Qt::UserRole + 1;

class RuleTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RuleTableModel(RuleEditorModel& editor, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  RuleEditorModel& editor() { return editor_; }
  // The rows as the rule base has them now; true when they were taken up again.
  bool refresh(bool evenWhenCountIsSame = false);

  // The editor's commands, with the rows they change told to the view.
  bool add();
  bool removeSelected();
  void clearRules();
  bool load(const std::filesystem::path& file);

 private:
  RuleEditorModel& editor_;
  int rows_ = 0;
};

}  // namespace talmoor::verify::ui
