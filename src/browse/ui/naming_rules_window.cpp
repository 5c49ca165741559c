#include "browse/ui/naming_rules_window.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include "base/interaction.h"
#include "base/workspace.h"
#include "browse/naming_files.h"
#include "browse/naming_rules_model.h"
#include "browse/ui/naming_rules_item_models.h"
#include "gui/choice_cell_delegate.h"

namespace talmoor::browse::ui {

namespace {

// The extensions hold a space, and a name filter splits its patterns at
// spaces: "*.naming rules" would offer "*.naming" and "rules" and show none
// of the files. "?" stands for the space.
const QString kRuleFilters = QStringLiteral("Naming Rules (*.naming?rules);;All Files (*)");
const QString kNameFilters = QStringLiteral("Name List (*.name?list);;All Files (*)");
const QString kRuleSuffix = QStringLiteral("naming rules");
const QString kNameSuffix = QStringLiteral("name list");

QTableView* makeView(QWidget* parent, const QString& name, QAbstractItemModel* model,
                     const std::vector<ColumnHeading>& columns) {
  auto* view = new QTableView(parent);
  view->setObjectName(name);
  view->setAccessibleName(name);
  view->setModel(model);
  // The level gets a number field that stops at -1 ("any level").
  view->setItemDelegate(new gui::ChoiceCellDelegate(kChoicesRole, -1, view));
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                        QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
  view->verticalHeader()->hide();
  view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
  for (std::size_t i = 0; i < columns.size(); ++i) view->setColumnWidth(static_cast<int>(i), columns[i].width);
  view->horizontalHeader()->setStretchLastSection(true);
  return view;
}

QPushButton* makeButton(QWidget* parent, const QString& text, const QString& name) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAccessibleName(name);
  return button;
}

QLineEdit* makeEdit(QWidget* parent, const QString& name, const QString& hint) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setAccessibleName(name);
  edit->setPlaceholderText(hint);
  return edit;
}

std::optional<int> currentRow(const QTableView* view) {
  const QModelIndex current = view->currentIndex();
  return current.isValid() ? std::optional<int>(current.row()) : std::nullopt;
}

std::filesystem::path toPath(const QString& file) { return std::filesystem::path(file.toStdString()); }

}  // namespace

NamingRulesWindow::NamingRulesWindow(std::shared_ptr<Workspace> workspace, QWidget* parent)
    : QWidget(parent),
      workspace_(std::move(workspace)),
      rules_(std::make_unique<NamingRulesModel>(workspace_->service<NamingRuleStore>())),
      chooseFile_(gui::chooseWithDialog) {
  setObjectName(QStringLiteral("NamingRules"));
  setAccessibleName(tr("Naming Rules"));
  nameModel_ = new NameTableModel(*rules_, this);
  ruleModel_ = new RuleTableModel(*rules_, *nameModel_, this);
  ruleView_ = makeView(this, tr("Rule List"), ruleModel_, ruleColumns());
  nameView_ = makeView(this, tr("Name List"), nameModel_, nameColumns());
  buildButtons();

  connect(ruleView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            ruleModel_->selectRule(current.isValid() ? std::optional<int>(current.row()) : std::nullopt);
            updateButtons();
          });
  // A reset of the rows (a list loaded, the rules cleared) leaves no current
  // row and so no signal of its own.
  connect(ruleModel_, &QAbstractItemModel::modelReset, this, [this] {
    ruleModel_->selectRule(currentRow(ruleView_));
    updateButtons();
  });
  connect(nameView_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] { updateButtons(); });
  connect(nameModel_, &QAbstractItemModel::modelReset, this, [this] { updateButtons(); });
  connect(ruleModel_, &RuleTableModel::edited, this, &NamingRulesWindow::edited);
  connect(nameModel_, &NameTableModel::edited, this, &NamingRulesWindow::edited);
  updateButtons();
}

NamingRulesWindow::~NamingRulesWindow() {
  // The views and adapters read the headless model, which as a member goes
  // before the children do.
  delete ruleView_;
  delete nameView_;
  delete ruleModel_;
  delete nameModel_;
}

void NamingRulesWindow::buildButtons() {
  newRule_ = makeEdit(this, tr("New Rule Name"), tr("First name of a new rule"));
  addRule_ = makeButton(this, tr("&Add"), tr("Add Rule"));
  removeRule_ = makeButton(this, tr("&Remove"), tr("Remove Rule"));
  clearRules_ = makeButton(this, tr("&Clear"), tr("Clear Rules"));
  loadRules_ = makeButton(this, tr("&Load"), tr("Load Naming Rules"));
  saveRules_ = makeButton(this, tr("&Save"), tr("Save Naming Rules"));
  newName_ = makeEdit(this, tr("New Name"), tr("Value or subkey name to add"));
  addName_ = makeButton(this, tr("&Add"), tr("Add Name"));
  removeName_ = makeButton(this, tr("&Remove"), tr("Remove Name"));
  loadNames_ = makeButton(this, tr("Load Name List"), tr("Load Name List"));
  saveNames_ = makeButton(this, tr("Save Name List"), tr("Save Name List"));
  apply_ = makeButton(this, tr("A&pply"), tr("Apply"));
  // The "&Add" of each row takes Return in its own edit field.
  connect(newRule_, &QLineEdit::returnPressed, this, &NamingRulesWindow::addRule);
  connect(newName_, &QLineEdit::returnPressed, this, &NamingRulesWindow::addName);
  connect(newRule_, &QLineEdit::textChanged, this, &NamingRulesWindow::updateButtons);
  connect(newName_, &QLineEdit::textChanged, this, &NamingRulesWindow::updateButtons);
  connect(addRule_, &QPushButton::clicked, this, &NamingRulesWindow::addRule);
  connect(removeRule_, &QPushButton::clicked, this, &NamingRulesWindow::removeRule);
  connect(clearRules_, &QPushButton::clicked, this, [this] { ruleModel_->clearRules(); });
  connect(loadRules_, &QPushButton::clicked, this, &NamingRulesWindow::loadRules);
  connect(saveRules_, &QPushButton::clicked, this, &NamingRulesWindow::saveRules);
  connect(addName_, &QPushButton::clicked, this, &NamingRulesWindow::addName);
  connect(removeName_, &QPushButton::clicked, this, &NamingRulesWindow::removeName);
  connect(loadNames_, &QPushButton::clicked, this, &NamingRulesWindow::loadNames);
  connect(saveNames_, &QPushButton::clicked, this, &NamingRulesWindow::saveNames);
  connect(apply_, &QPushButton::clicked, this, &NamingRulesWindow::apply);

  auto* ruleRow = new QHBoxLayout();
  ruleRow->addWidget(newRule_, 1);
  for (QPushButton* button : {addRule_, removeRule_, clearRules_, loadRules_, saveRules_}) ruleRow->addWidget(button);
  auto* nameRow = new QHBoxLayout();
  nameRow->addWidget(newName_, 1);
  for (QPushButton* button : {addName_, removeName_, loadNames_, saveNames_}) nameRow->addWidget(button);
  auto* applyRow = new QHBoxLayout();
  applyRow->addStretch(1);
  applyRow->addWidget(apply_);

  auto half = [this](QTableView* view, QLayout* row) {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view, 1);
    layout->addLayout(row);
    return box;
  };
  auto* split = new QSplitter(Qt::Vertical, this);
  split->setChildrenCollapsible(false);
  split->addWidget(half(ruleView_, ruleRow));
  split->addWidget(half(nameView_, nameRow));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(split, 1);
  layout->addLayout(applyRow);
}

void NamingRulesWindow::updateButtons() {
  const bool ruleShown = nameModel_->hasRule();
  addRule_->setEnabled(NamingRulesModel::canAdd(newRule_->text().toStdString()));
  removeRule_->setEnabled(currentRow(ruleView_).has_value());
  clearRules_->setEnabled(ruleModel_->rowCount() > 0);
  addName_->setEnabled(ruleShown && NamingRulesModel::canAdd(newName_->text().toStdString()));
  removeName_->setEnabled(ruleShown && currentRow(nameView_).has_value());
  loadNames_->setEnabled(ruleShown);
  saveNames_->setEnabled(ruleShown);
  apply_->setEnabled(unapplied_);
}

void NamingRulesWindow::edited() {
  unapplied_ = true;
  updateButtons();
}

void NamingRulesWindow::addRule() {
  if (auto row = ruleModel_->addRule(newRule_->text())) {
    newRule_->clear();
    ruleView_->setCurrentIndex(ruleModel_->index(*row, 0));
  }
}

void NamingRulesWindow::removeRule() {
  if (auto row = currentRow(ruleView_)) ruleModel_->removeRule(*row);
  // The row that took its place (if any) is current now: show its names.
  ruleModel_->selectRule(currentRow(ruleView_));
  updateButtons();
}

void NamingRulesWindow::addName() {
  if (auto row = nameModel_->addName(newName_->text())) {
    newName_->clear();
    nameView_->setCurrentIndex(nameModel_->index(*row, 0));
  }
}

void NamingRulesWindow::removeName() {
  if (auto row = currentRow(nameView_)) nameModel_->removeName(*row);
  updateButtons();
}

QString NamingRulesWindow::ask(const FileRequest& request) { return chooseFile_ ? chooseFile_(this, request) : QString(); }

void NamingRulesWindow::loadRules() {
  const QString title = tr("Load Naming Rules");
  const QString file = ask({title, kRuleFilters, kRuleSuffix, false});
  if (file.isEmpty()) return;
  std::string problem;
  // Read whole before anything is replaced: a refused file leaves both lists as they were.
  auto loaded = loadRuleListFile(toPath(file), problem);
  if (!loaded) {
    messageBox(problem, title.toStdString(), BoxButtons::Ok, BoxIcon::Stop);
    return;
  }
  ruleModel_->setRules(std::move(*loaded));
}

void NamingRulesWindow::saveRules() {
  const QString title = tr("Save Naming Rules");
  const QString file = ask({title, kRuleFilters, kRuleSuffix, true});
  if (file.isEmpty()) return;
  std::string problem;
  if (!rules_->saveRules(toPath(file), problem))
    messageBox(problem, title.toStdString(), BoxButtons::Ok, BoxIcon::Stop);
}

void NamingRulesWindow::loadNames() {
  if (!nameModel_->hasRule()) return;
  const QString title = tr("Load Name List");
  const QString file = ask({title, kNameFilters, kNameSuffix, false});
  if (file.isEmpty()) return;
  std::string problem;
  auto loaded = loadNameListFile(toPath(file), problem);
  if (!loaded) {
    messageBox(problem, title.toStdString(), BoxButtons::Ok, BoxIcon::Stop);
    return;
  }
  nameModel_->setNames(std::move(*loaded));
}

void NamingRulesWindow::saveNames() {
  if (!nameModel_->hasRule()) return;
  const QString title = tr("Save Name List");
  const QString file = ask({title, kNameFilters, kNameSuffix, true});
  if (file.isEmpty()) return;
  std::string problem;
  if (!rules_->saveNames(toPath(file), problem))
    messageBox(problem, title.toStdString(), BoxButtons::Ok, BoxIcon::Stop);
}

void NamingRulesWindow::apply() {
  rules_->apply();
  unapplied_ = false;
  updateButtons();
  emit rulesApplied();
}

}  // namespace talmoor::browse::ui
