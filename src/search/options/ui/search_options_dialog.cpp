#include "search/options/ui/search_options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/dialog_controls.h"
#include "gui/icons.h"
#include "search/search_options.h"

namespace talmoor::search::ui {

namespace text = options_text;

namespace {

QString qs(std::string_view view) { return gui::fromUtf8(view); }

// What a screen reader calls a control: its label without the mnemonic
// marker, the colon and the padding some labels carry.
QString spokenName(std::string_view label) { return gui::spokenName(qs(label)); }

QCheckBox* makeBox(QWidget* parent, std::string_view label, bool ticked) {
  auto* box = new QCheckBox(qs(label), parent);
  box->setObjectName(spokenName(label));
  box->setAccessibleName(spokenName(label));
  box->setChecked(ticked);
  return box;
}

// The path of an item from the top of its tree, as the model addresses it.
ItemPath pathOf(QTreeWidgetItem* item) {
  ItemPath path;
  for (QTreeWidgetItem* at = item; at; at = at->parent()) {
    QTreeWidgetItem* parent = at->parent();
    const int index = parent ? parent->indexOfChild(at) : at->treeWidget()->indexOfTopLevelItem(at);
    path.insert(path.begin(), static_cast<std::size_t>(index));
  }
  return path;
}

void addItems(const std::vector<OptionTreeItem>& items, QTreeWidgetItem* parent, QTreeWidget* tree, bool types) {
  for (std::size_t index = 0; index < items.size(); ++index) {
    const OptionTreeItem& source = items[index];
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    item->setText(0, qs(source.text));
    if (!source.tooltip.empty()) item->setToolTip(0, qs(source.tooltip));
    if (types) item->setIcon(0, gui::valueTypeIcon(static_cast<DWORD>(index)));
    if (source.checkable) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(0, source.ticked ? Qt::Checked : Qt::Unchecked);
    } else {
      item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
    addItems(source.children, item, tree, false);
    item->setExpanded(true);
  }
}

void tickItems(const std::vector<OptionTreeItem>& items, QTreeWidgetItem* parent, QTreeWidget* tree) {
  for (std::size_t index = 0; index < items.size(); ++index) {
    const int row = static_cast<int>(index);
    QTreeWidgetItem* item = parent ? parent->child(row) : tree->topLevelItem(row);
    if (!item) continue;
    if (items[index].checkable) item->setCheckState(0, items[index].ticked ? Qt::Checked : Qt::Unchecked);
    tickItems(items[index].children, item, tree);
  }
}

}  // namespace

SearchOptionsDialog::SearchOptionsDialog(std::string commandLine, QWidget* parent)
    : QDialog(parent), model_(std::make_unique<SearchOptionsModel>(std::move(commandLine))) {
  setWindowTitle(qs(text::kTitle));
  setAccessibleName(qs(text::kTitle));
  setObjectName(QStringLiteral("SearchOptions"));
  setModal(true);

  auto* include = new QGroupBox(qs(text::kIncludeFrame), this);
  include->setAccessibleName(spokenName(text::kIncludeFrame));
  keys_ = makeBox(include, text::kKeys, model_->keys());
  values_ = makeBox(include, text::kValues, model_->values());
  data_ = makeBox(include, text::kData, model_->data());
  alwaysMatch_ = makeBox(include, text::kAlwaysMatch, model_->alwaysMatch());
  alwaysMatch_->setToolTip(qs(text::kAlwaysMatchTip));
  types_ = makeTree(OptionsTree::Types, tr("Data Types"));
  searchAllTypes_ = makeBox(include, text::kSearchAllTypes, model_->searchAllTypes());
  auto* includeLayout = new QGridLayout(include);
  includeLayout->addWidget(keys_, 0, 0);
  includeLayout->addWidget(values_, 1, 0);
  includeLayout->addWidget(data_, 2, 0);
  includeLayout->addWidget(alwaysMatch_, 3, 0);
  includeLayout->addWidget(types_, 0, 1, 4, 1);
  includeLayout->addWidget(searchAllTypes_, 4, 1);

  auto* misc = new QGroupBox(qs(text::kMiscFrame), this);
  misc->setAccessibleName(spokenName(text::kMiscFrame));
  miscellaneous_ = makeTree(OptionsTree::Miscellaneous, spokenName(text::kMiscFrame));
  auto* miscLayout = new QVBoxLayout(misc);
  miscLayout->addWidget(miscellaneous_);

  auto* confirm = new QGroupBox(qs(text::kConfirmFrame), this);
  confirm->setAccessibleName(spokenName(text::kConfirmFrame));
  displayConfirmations_ = makeBox(confirm, text::kDisplayConfirmations, model_->displayConfirmations());
  keyConfirmations_ = makeTree(OptionsTree::KeyConfirmations, tr("Key Confirmations"));
  valueConfirmations_ = makeTree(OptionsTree::ValueConfirmations, tr("Value Confirmations"));
  auto* confirmLayout = new QGridLayout(confirm);
  confirmLayout->addWidget(displayConfirmations_, 0, 0, 1, 2);
  confirmLayout->addWidget(keyConfirmations_, 1, 0);
  confirmLayout->addWidget(valueConfirmations_, 1, 1);

  namingRules_ = new QPushButton(qs(text::kNamingRules), this);
  namingRules_->setObjectName(spokenName(text::kNamingRules));
  namingRules_->setAccessibleName(spokenName(text::kNamingRules));
  namingRules_->setToolTip(qs(text::kNamingRulesTip));
  namingRules_->setVisible(model_->namingRulesButtonVisible());
  connect(namingRules_, &QPushButton::clicked, this, [this] {
    if (openNamingRules_) openNamingRules_();
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setAccessibleName(tr("Close"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* lower = new QHBoxLayout();
  lower->addWidget(misc, 1);
  lower->addWidget(confirm, 2);
  auto* bottom = new QHBoxLayout();
  bottom->addWidget(namingRules_);
  bottom->addStretch(1);
  bottom->addWidget(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(include);
  layout->addLayout(lower, 1);
  layout->addLayout(bottom);

  connect(keys_, &QCheckBox::toggled, this, [this](bool on) { model_->setKeys(on); });
  connect(values_, &QCheckBox::toggled, this, [this](bool on) { model_->setValues(on); });
  connect(data_, &QCheckBox::toggled, this, [this](bool on) { model_->setData(on); });
  connect(alwaysMatch_, &QCheckBox::toggled, this, [this](bool on) { model_->setAlwaysMatch(on); });
  connect(searchAllTypes_, &QCheckBox::toggled, this, [this](bool on) {
    if (refreshing_) return;
    model_->setSearchAllTypes(on);
    refreshFromModel();
  });
  connect(displayConfirmations_, &QCheckBox::toggled, this, [this](bool on) {
    if (refreshing_) return;
    model_->setDisplayConfirmations(on);
    refreshFromModel();
  });

  // The command line the program was started with, in a box of its own,
  // while this dialog is open.
  auto* commandLineKey = new QShortcut(QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_C), this);
  commandLineKey->setContext(Qt::WindowShortcut);
  connect(commandLineKey, &QShortcut::activated, this, [this] { model_->showCommandLine(); });

  refreshFromModel();
}

SearchOptionsDialog::~SearchOptionsDialog() {
  // Closing without done() (the parent going away) still stores, as the
  // dialog's close command would.
  model_->close();
}

QTreeWidget* SearchOptionsDialog::makeTree(OptionsTree which, const QString& name) {
  auto* tree = new QTreeWidget(this);
  tree->setObjectName(name);
  tree->setAccessibleName(name);
  tree->setHeaderHidden(true);
  tree->setRootIsDecorated(which == OptionsTree::Miscellaneous);
  tree->setToolTip(qs(model_->tree(which).tooltip));
  addItems(model_->tree(which).items, nullptr, tree, which == OptionsTree::Types);
  connect(tree, &QTreeWidget::itemChanged, this,
          [this, which](QTreeWidgetItem* item, int column) {
            if (column == 0) itemChanged(which, item);
          });
  return tree;
}

QTreeWidget* SearchOptionsDialog::treeWidget(OptionsTree which) const {
  switch (which) {
    case OptionsTree::Types: return types_;
    case OptionsTree::Miscellaneous: return miscellaneous_;
    case OptionsTree::KeyConfirmations: return keyConfirmations_;
    case OptionsTree::ValueConfirmations: break;
  }
  return valueConfirmations_;
}

void SearchOptionsDialog::fillTree(OptionsTree which) {
  QTreeWidget* tree = treeWidget(which);
  const OptionTree& source = model_->tree(which);
  tree->setEnabled(source.enabled);
  tickItems(source.items, nullptr, tree);
}

void SearchOptionsDialog::refreshFromModel() {
  refreshing_ = true;
  searchAllTypes_->setChecked(model_->searchAllTypes());
  displayConfirmations_->setChecked(model_->displayConfirmations());
  for (OptionsTree which : {OptionsTree::Types, OptionsTree::Miscellaneous, OptionsTree::KeyConfirmations,
                            OptionsTree::ValueConfirmations})
    fillTree(which);
  refreshing_ = false;
}

void SearchOptionsDialog::itemChanged(OptionsTree which, QTreeWidgetItem* item) {
  if (refreshing_) return;
  const ItemPath path = pathOf(item);
  const bool ticked = item->checkState(0) == Qt::Checked;
  const OptionTreeItem* shown = model_->tree(which).find(path);
  if (!shown || shown->ticked == ticked) return;
  // A click the model refuses (a group node, a disabled tree) is undone.
  if (!model_->setItemTicked(which, path, ticked)) refreshFromModel();
}

void SearchOptionsDialog::done(int result) {
  model_->close();
  QDialog::done(result);
}

void runSearchOptionsDialog(QWidget* parent, std::string commandLine, std::function<void()> openNamingRules) {
  SearchOptionsDialog dialog(std::move(commandLine), parent);
  dialog.setNamingRulesOpener(std::move(openNamingRules));
  dialog.exec();
}

}  // namespace talmoor::search::ui
