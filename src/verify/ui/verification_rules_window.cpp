#include "verify/ui/verification_rules_window.h"

#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/choice_cell_delegate.h"
#include "gui/dialog_controls.h"
#include "verify/ui/rule_table_model.h"

namespace talmoor::verify::ui {

using gui::makeButton;
using gui::spokenName;

namespace {

const QString kFilters = QStringLiteral("Rule Base (*.rules)");
const QString kSuffix = QStringLiteral("rules");
// How often the window looks for rules a running search has added.
constexpr int kWatchMilliseconds = 500;

QLineEdit* makeEdit(QWidget* parent, const QString& name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setAccessibleName(name);
  return edit;
}

std::filesystem::path toPath(const QString& file) { return std::filesystem::path(file.toStdString()); }

}  // namespace

VerificationRulesWindow::VerificationRulesWindow(RuleBase& rules, QWidget* parent)
    : QDialog(parent), editor_(std::make_unique<RuleEditorModel>(rules)), chooseFile_(gui::chooseWithDialog) {
  setObjectName(QStringLiteral("VerificationRules"));
  setWindowTitle(tr("Verification Rules"));
  setAccessibleName(windowTitle());

  model_ = new RuleTableModel(*editor_, this);
  view_ = new QTableView(this);
  view_->setObjectName(QStringLiteral("Rules"));
  view_->setAccessibleName(tr("Rules"));
  view_->setModel(model_);
  // Type, Auto, Reject and Prompt are a choice from a drop-down; the other
  // cells are text.
  view_->setItemDelegate(new gui::ChoiceCellDelegate(kRuleChoicesRole, std::nullopt, view_));
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                         QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  view_->verticalHeader()->hide();
  for (int column = 0; column < static_cast<int>(std::size(kRuleColumns)); ++column)
    view_->setColumnWidth(column, kRuleColumns[column].width);

  find_ = makeEdit(this, tr("Find"));
  replace_ = makeEdit(this, tr("Replace"));
  add_ = makeButton(this, tr("&Add"));
  remove_ = makeButton(this, tr("&Remove"));
  clear_ = makeButton(this, tr("&Clear Rules"));
  load_ = makeButton(this, tr("&Load"));
  save_ = makeButton(this, tr("&Save"));

  auto* fields = new QGridLayout();
  fields->addWidget(new QLabel(tr("Find"), this), 0, 0);
  fields->addWidget(find_, 0, 1);
  fields->addWidget(new QLabel(tr("Replace"), this), 1, 0);
  fields->addWidget(replace_, 1, 1);
  auto* buttons = new QHBoxLayout();
  for (QPushButton* button : {add_, remove_, clear_}) buttons->addWidget(button);
  buttons->addStretch(1);
  for (QPushButton* button : {load_, save_}) buttons->addWidget(button);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addLayout(fields);
  layout->addLayout(buttons);

  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &VerificationRulesWindow::selectionChanged);
  connect(model_, &QAbstractItemModel::modelReset, this, &VerificationRulesWindow::selectionChanged);
  connect(find_, &QLineEdit::textEdited, this, &VerificationRulesWindow::findEdited);
  connect(replace_, &QLineEdit::textEdited, this,
          [this](const QString& text) { editor_->replaceField = text.toStdString(); });
  connect(add_, &QPushButton::clicked, this, &VerificationRulesWindow::addRule);
  connect(remove_, &QPushButton::clicked, this, &VerificationRulesWindow::removeRule);
  connect(clear_, &QPushButton::clicked, this, &VerificationRulesWindow::clearRules);
  connect(load_, &QPushButton::clicked, this, &VerificationRulesWindow::loadRules);
  connect(save_, &QPushButton::clicked, this, &VerificationRulesWindow::saveRules);

  // The window opens on the fields a new rule is made from; a table taking
  // the focus first would select its first rule.
  setFocusProxy(find_);
  find_->setFocus();

  watch_ = new QTimer(this);
  watch_->setInterval(kWatchMilliseconds);
  connect(watch_, &QTimer::timeout, this, &VerificationRulesWindow::takeUpNewRules);
  watch_->start();
  updateButtons();
  resize(820, 420);
}

VerificationRulesWindow::~VerificationRulesWindow() {
  // The view and the adapter read the editor, which as a member goes first.
  delete view_;
  delete model_;
}

bool VerificationRulesWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) takeUpNewRules();
  return QDialog::event(event);
}

void VerificationRulesWindow::takeUpNewRules() {
  // Only when the count changed: a reset would end an edit under way.
  if (!view_->indexWidget(view_->currentIndex())) model_->refresh();
}

void VerificationRulesWindow::selectionChanged() {
  const QModelIndex current = view_->currentIndex();
  editor_->select(current.isValid() ? std::optional<std::size_t>(current.row()) : std::nullopt);
  if (editor_->selected()) {
    find_->setText(QString::fromStdString(editor_->findField));
    replace_->setText(QString::fromStdString(editor_->replaceField));
  }
  updateButtons();
}

void VerificationRulesWindow::findEdited(const QString& text) {
  // Typing a find text starts a new rule: the fields no longer show the
  // selected one.
  if (editor_->selected()) {
    view_->selectionModel()->clearSelection();
    view_->setCurrentIndex(QModelIndex());
    editor_->select(std::nullopt);
  }
  editor_->findField = text.toStdString();
  editor_->replaceField = replace_->text().toStdString();
  updateButtons();
}

void VerificationRulesWindow::updateButtons() {
  add_->setEnabled(editor_->addEnabled());
  remove_->setEnabled(editor_->removeEnabled());
  clear_->setEnabled(editor_->clearEnabled());
  save_->setEnabled(editor_->saveEnabled());
}

void VerificationRulesWindow::addRule() {
  editor_->findField = find_->text().toStdString();
  editor_->replaceField = replace_->text().toStdString();
  model_->add();
  updateButtons();
}

void VerificationRulesWindow::removeRule() {
  model_->removeSelected();
  selectionChanged();
}

void VerificationRulesWindow::clearRules() {
  model_->clearRules();
  updateButtons();
}

void VerificationRulesWindow::loadRules() {
  const QString file = chooseFile_ ? chooseFile_(this, {tr("Import Rule Base"), kFilters, kSuffix, false}) : QString();
  if (file.isEmpty()) return;
  model_->load(toPath(file));
  updateButtons();
}

void VerificationRulesWindow::saveRules() {
  const QString file = chooseFile_ ? chooseFile_(this, {tr("Export Rule Base"), kFilters, kSuffix, true}) : QString();
  if (file.isEmpty()) return;
  editor_->save(toPath(file));
}

VerificationRulesWindow* showVerificationRulesWindow(QWidget* parent) {
  VerificationRulesWindow* window =
      parent ? parent->findChild<VerificationRulesWindow*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
  if (!window) {
    window = new VerificationRulesWindow(ruleBase(), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
  }
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace talmoor::verify::ui
