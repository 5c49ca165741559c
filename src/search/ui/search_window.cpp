#include "search/ui/search_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>
#include <filesystem>

#include "base/interaction.h"
#include "base/thread_starter.h"
#include "browse/entry_records.h"
#include "gui/gui_thread.h"
#include "scripts/results_file_jobs.h"
#include "search/results/popup_menu.h"
#include "search/ui/result_item_model.h"

namespace talmoor::search::ui {

namespace {

// The tooltip strings of the dialog.
const char* const kUnicodeTip = "Tick this box to search for your string in as an English Unicode encoded string.";
const char* const kRangeTip =
    "Select range to search, selecting to search the entire range or search until n matching items are found.";
const char* const kMinimumTip = "Enter the Minimum size the found registry items must equal or exceed.";
const char* const kMaximumTip = "Enter the Maximum size the found registry items must not exceed.";
const char* const kListTip = "Right click to access additional commands.";

constexpr int kStatePartWidth = 70;
// Entries of the popup menu's "&Results" submenu: the first seven.
constexpr std::size_t kResultsEntries = 7;

QString text(std::string_view view) { return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size())); }

// A combo box's entries, as texts.
std::vector<std::string> entriesOf(const QComboBox* box) {
  std::vector<std::string> entries;
  for (int i = 0; i < box->count(); ++i) entries.push_back(box->itemText(i).toStdString());
  return entries;
}

void showEntries(QComboBox* box, const std::vector<std::string>& entries) {
  if (entriesOf(box) == entries) return;
  const QString typed = box->currentText();
  box->blockSignals(true);
  box->clear();
  for (const auto& entry : entries) box->addItem(QString::fromStdString(entry));
  box->setEditText(typed);
  box->blockSignals(false);
}

scripts::FileCommand fileCommandOf(PopupCommand command) {
  switch (command) {
    case PopupCommand::Import: return scripts::FileCommand::Import;
    case PopupCommand::Verify: return scripts::FileCommand::Verify;
    case PopupCommand::Reduce: return scripts::FileCommand::Reduce;
    case PopupCommand::Save: return scripts::FileCommand::Save;
    default: return scripts::FileCommand::Load;
  }
}

bool within(const QWidget* window, const QWidget* widget) {
  return widget && (widget == window || window->isAncestorOf(widget));
}

}  // namespace

SearchWindow::SearchWindow(QWidget* parent)
    : QWidget(parent), results_(std::make_shared<ResultList>()) {
  setWindowTitle(tr("Search"));
  setAccessibleName(tr("Search"));
  setObjectName(QStringLiteral("Search"));
  model_ = new ResultItemModel(results_, this);
  driver_ = std::make_unique<SearchDriver>(results_);

  // Status texts and button states come from the search's threads: they
  // reach the window in batches, in the order they were given.
  inbox_ = gui::BatchedInbox<Notice>::create([this](std::vector<Notice>& notices) { receive(notices); });
  // The texts of a running job (a key path for every key) wait for the next
  // batch; those that come when it has ended, and every change of the
  // buttons, are shown at once.
  SearchControlsModel* controlsModel = &driver_->controls();
  driver_->controls().setStatusSink([inbox = inbox_, controlsModel](int part, std::string_view status) {
    inbox->put(StatusText{part, std::string(status)}, controlsModel->state().goText != "Stop");
  });
  driver_->controls().setListener([inbox = inbox_](const SearchControls& controls) { inbox->put(controls, true); });
  QPointer<SearchWindow> self(this);
  driver_->setNavigator([self](const NavigationRequest& request) {
    gui::postToGui(qApp, [self, request] {
      if (self && self->pathOpener_) self->pathOpener_(request);
    });
  });
  driver_->loadHistories();
  controls_ = driver_->controls().state();

  buildControls();
  buildView();
  auto* top = new QHBoxLayout;
  top->addWidget(parameters_, 1);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(goButton_);
  buttons->addWidget(pauseButton_);
  buttons->addWidget(rulesButton_);
  buttons->addStretch(1);
  top->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 0);
  layout->addLayout(top);
  layout->addWidget(view_, 1);
  layout->addWidget(statusBar_);

  showHistories();
  layoutControls();
  showStatus(0, tr("Ready"));
  showCount();

  // The data viewer goes back to the row shown here when this window gets
  // the focus (with no row shown it keeps what it shows).
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
    if (rowIsShown_ && within(this, now) && !within(this, old)) showRowAgain();
  });
}

SearchWindow::~SearchWindow() {
  inbox_->detach();
  driver_->controls().setStatusSink(nullptr);
  driver_->controls().setListener(nullptr);
  driver_->setNavigator(nullptr);
  // An Add may be asking about a user profile: keep answering until it ends.
  for (;;) {
    std::erase_if(adders_, [](const ThreadHandle& thread) { return !thread || thread->finished(); });
    if (adders_.empty()) break;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  // Stops a job still running and waits for its thread.
  driver_.reset();
}

void SearchWindow::buildControls() {
  parameters_ = new QGroupBox(tr("Parameters"), this);
  parameters_->setAccessibleName(tr("Parameters"));

  auto historyBox = [this](const QString& name) {
    auto* box = new QComboBox(parameters_);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumContentsLength(24);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    box->lineEdit()->setMaxLength(static_cast<int>(kMaxSearchTextLength));
    box->setAccessibleName(name);
    box->lineEdit()->setAccessibleName(name);
    // Enter starts the search, as the dialog's default button would.
    connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this] {
      if (goButton_->isEnabled() && !driver_->searchRunning()) pressGo();
    });
    return box;
  };
  auto label = [this](const QString& caption, QWidget* buddy) {
    auto* l = new QLabel(caption, parameters_);
    l->setBuddy(buddy);
    return l;
  };
  auto numberEdit = [this](const QString& name, const char* tip, int length) {
    auto* edit = new QLineEdit(parameters_);
    edit->setAccessibleName(name);
    if (tip) edit->setToolTip(QString::fromLatin1(tip));
    edit->setMaxLength(length);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    edit->setMaximumWidth(90);
    return edit;
  };

  findBox_ = historyBox(tr("Find"));
  findLabel_ = label(tr("Find:"), findBox_);
  replaceBox_ = historyBox(tr("Replace"));
  replaceLabel_ = label(tr("Replace:"), replaceBox_);
  minimumEdit_ = numberEdit(tr("Minimise"), kMinimumTip, static_cast<int>(kMaxSizeTextLength));
  minimumLabel_ = label(tr("Minimise :"), minimumEdit_);
  maximumEdit_ = numberEdit(tr("Maximise"), kMaximumTip, static_cast<int>(kMaxSizeTextLength));
  maximumLabel_ = label(tr("Maximise :"), maximumEdit_);
  sizeLabel_ = new QLabel(tr("Size"), parameters_);

  modeList_ = new QComboBox(parameters_);
  modeList_->setAccessibleName(tr("Mode"));
  modeList_->setToolTip(QString::fromLatin1(kModeHelpText));
  for (const char* mode : kModeNames) modeList_->addItem(QString::fromLatin1(mode));
  modeList_->setCurrentIndex(kModeFind);
  modeLabel_ = label(tr("Mode:"), modeList_);

  rangeList_ = new QComboBox(parameters_);
  rangeList_->setAccessibleName(tr("Range"));
  rangeList_->setToolTip(QString::fromLatin1(kRangeTip));
  rangeList_->addItems({tr("First"), tr("All")});
  rangeList_->setCurrentIndex(1);
  rangeLabel_ = label(tr("Range:"), rangeList_);
  countEdit_ = numberEdit(tr("Count"), nullptr, 10);
  countEdit_->setText(QStringLiteral("1"));

  unicodeBox_ = new QCheckBox(tr("&Uni-Code"), parameters_);
  unicodeBox_->setAccessibleName(tr("Uni-Code"));
  unicodeBox_->setToolTip(QString::fromLatin1(kUnicodeTip));

  auto* grid = new QGridLayout(parameters_);
  grid->addWidget(findLabel_, 0, 0);
  grid->addWidget(findBox_, 0, 1, 1, 6);
  grid->addWidget(replaceLabel_, 1, 0);
  grid->addWidget(replaceBox_, 1, 1, 1, 6);
  grid->addWidget(modeLabel_, 2, 0);
  grid->addWidget(modeList_, 2, 1);
  grid->addWidget(rangeLabel_, 2, 2);
  grid->addWidget(rangeList_, 2, 3);
  grid->addWidget(countEdit_, 2, 4);
  grid->addWidget(unicodeBox_, 2, 5, 1, 2);
  grid->addWidget(sizeLabel_, 3, 0);
  grid->addWidget(minimumLabel_, 3, 1, Qt::AlignRight);
  grid->addWidget(minimumEdit_, 3, 2);
  grid->addWidget(maximumLabel_, 3, 3, Qt::AlignRight);
  grid->addWidget(maximumEdit_, 3, 4);
  grid->setColumnStretch(6, 1);

  goButton_ = new QPushButton(tr("Go"), this);
  goButton_->setAccessibleName(tr("Go"));
  goButton_->setAccessibleDescription(tr("Go"));
  pauseButton_ = new QPushButton(tr("Pause"), this);
  pauseButton_->setAccessibleName(tr("Pause"));
  pauseButton_->setAccessibleDescription(tr("Pause"));
  pauseButton_->setEnabled(false);
  rulesButton_ = new QPushButton(tr("Verification Rules"), this);
  rulesButton_->setAccessibleName(tr("Verification Rules"));
  rulesButton_->setEnabled(false);
  connect(goButton_, &QPushButton::clicked, this, &SearchWindow::pressGo);
  connect(pauseButton_, &QPushButton::clicked, this, &SearchWindow::pressPause);
  connect(rulesButton_, &QPushButton::clicked, this, [this] {
    if (rulesOpener_) rulesOpener_();
  });
  connect(modeList_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { layoutControls(); });
  connect(rangeList_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { layoutControls(); });

  statusBar_ = new QStatusBar(this);
  statusBar_->setSizeGripEnabled(false);
  statusBar_->setAccessibleName(tr("Search Status"));
  stateLabel_ = new QLabel(statusBar_);
  stateLabel_->setAccessibleName(tr("Search State"));
  stateLabel_->setFixedWidth(kStatePartWidth);
  countLabel_ = new QLabel(statusBar_);
  countLabel_->setAccessibleName(tr("Search Results Count"));
  // A long key path must not widen the window.
  countLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  countLabel_->setMinimumWidth(0);
  statusBar_->addWidget(stateLabel_);
  statusBar_->addWidget(countLabel_, 1);
}

void SearchWindow::buildView() {
  view_ = new QTableView(this);
  // While rows go or the order changes, the selection model's own updates
  // are not the user's: the list's flags stay as the list has them. Told
  // before the selection model hears of it (it tells of rows leaving the
  // selection as they are about to go), and let go after.
  connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { syncing_ = true; });
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { syncing_ = true; });
  view_->setModel(model_);
  view_->setAccessibleName(tr("Registry Values"));
  view_->setToolTip(QString::fromLatin1(kListTip));
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  view_->setWordWrap(false);
  view_->setShowGrid(false);
  view_->setIconSize(QSize(16, 16));
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
  QHeaderView* header = view_->horizontalHeader();
  header->setSectionsMovable(true);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setStretchLastSection(true);
  header->setHighlightSections(false);
  for (int column : {kColumnHive, kColumnKey, kColumnSubKey, kColumnValue}) header->resizeSection(column, 140);
  view_->installEventFilter(this);
  view_->setAcceptDrops(true);
  view_->viewport()->setAcceptDrops(true);
  view_->viewport()->installEventFilter(this);

  // A click on a column header sorts the rows by it, ascending every time.
  connect(header, &QHeaderView::sectionClicked, this, [this, header](int column) {
    model_->flushNow();
    driver_->sortByColumn(column);
    model_->flushNow();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, Qt::AscendingOrder);
  });
  connect(view_, &QTableView::customContextMenuRequested, this, &SearchWindow::showPopupMenu);
  connect(view_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) runCommand(PopupCommand::Goto);
  });
  QItemSelectionModel* selection = view_->selectionModel();
  connect(selection, &QItemSelectionModel::selectionChanged, this, &SearchWindow::selectionToList);
  connect(selection, &QItemSelectionModel::selectionChanged, this, [this] { updateShownRow(); });
  connect(selection, &QItemSelectionModel::currentChanged, this, [this] { updateShownRow(); });

  connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] {
    syncing_ = false;
    if (rowIsShown_ && !shown_.isValid()) updateShownRow();
  });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    syncing_ = false;
    selectionFromList();
    updateShownRow();
  });
  connect(model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& first, const QModelIndex& last) {
            listToSelection(first.row(), last.row());
            if (rowIsShown_ && shown_.isValid() && shown_.row() >= first.row() && shown_.row() <= last.row())
              showRowAgain();
          });
  connect(model_, &QAbstractItemModel::columnsInserted, this, [this, header](const QModelIndex&, int first, int) {
    // The Replacement column shares the Data column's width with it.
    if (first != kColumnReplacement) return;
    header->setStretchLastSection(false);
    const int width = std::max(header->sectionSize(kColumnData), 160);
    header->resizeSection(kColumnData, width / 2);
    header->resizeSection(kColumnReplacement, width - width / 2);
    header->setStretchLastSection(true);
  });
  connect(model_, &ResultItemModel::listCleared, this, [this] {
    if (rowIsShown_) {
      rowIsShown_ = false;
      shown_ = QPersistentModelIndex();
    }
    emit rowShown(std::nullopt, QString::fromLatin1(kSearchResultCaption));
  });
}

bool SearchWindow::queryClose() { return driver_->queryClose(); }

QString SearchWindow::statusText() const { return countLabel_->text(); }

QString SearchWindow::stateText() const { return stateLabel_->text(); }

SearchParameters SearchWindow::parameters() const {
  SearchParameters p;
  p.mode = modeList_->currentIndex();
  p.findText = findBox_->currentText().toStdString();
  p.replaceText = replaceBox_->currentText().toStdString();
  p.unicode = unicodeBox_->isChecked();
  p.rangeFirst = rangeList_->currentIndex() == 0;
  p.countText = countEdit_->text().toStdString();
  p.minimumText = minimumEdit_->text().toStdString();
  p.maximumText = maximumEdit_->text().toStdString();
  return p;
}

void SearchWindow::setVerificationRulesOpener(std::function<void()> opener) {
  rulesOpener_ = std::move(opener);
  layoutControls();
}

void SearchWindow::pressGo() {
  if (!driver_->searchRunning()) {
    driver_->setParameters(parameters());
    driver_->setStartPath(startPath_ ? startPath_() : std::nullopt);
  }
  driver_->pressGo();
}

void SearchWindow::pressPause() {
  // Resume reads the parameters again: what was edited while paused counts.
  if (driver_->controls().isPaused()) driver_->setParameters(parameters());
  driver_->pressPause();
}

void SearchWindow::flushNow() {
  model_->flushNow();
  inbox_->flush();
}

void SearchWindow::receive(std::vector<Notice>& notices) {
  // Every text is told in order; each part shows the last.
  std::optional<QString> parts[2];
  std::optional<SearchControls> controls;
  for (const Notice& notice : notices) {
    if (const auto* status = std::get_if<StatusText>(&notice)) {
      const QString shown = text(status->text);
      if (status->part == 0 || status->part == 1) parts[status->part] = shown;
      emit statusShown(status->part, shown);
    } else {
      controls = std::get<SearchControls>(notice);
    }
  }
  // A job that has ended has told of all its rows: they are shown with it.
  if (controls && controls->goText == "Go") model_->flushNow();
  for (int part : {0, 1})
    if (parts[part]) (part == 0 ? stateLabel_ : countLabel_)->setText(*parts[part]);
  countLabel_->setAccessibleDescription(countLabel_->text());
  if (controls) applyControls(*controls);
}

void SearchWindow::applyControls(const SearchControls& controls) {
  controls_ = controls;
  goButton_->setText(QString::fromStdString(controls.goText));
  goButton_->setAccessibleDescription(goButton_->text());
  goButton_->setEnabled(controls.goEnabled);
  pauseButton_->setText(QString::fromStdString(controls.pauseText));
  pauseButton_->setAccessibleDescription(pauseButton_->text());
  pauseButton_->setEnabled(controls.pauseEnabled);
  layoutControls();
  // A search that started has added its texts to the histories.
  showHistories();
}

void SearchWindow::layoutControls() {
  const int mode = modeList_->currentIndex();
  const ControlLayout layout = layoutForMode(mode, rangeList_->currentIndex() == 0);
  // While a job runs only Go and Pause work; paused, the parameters may be
  // edited, but the mode stays.
  const bool editable = controls_.parametersEnabled;
  const bool idle = editable && controls_.goText != "Stop";
  const bool verify = mode == kModeVerify;
  for (QWidget* w : {static_cast<QWidget*>(findLabel_), static_cast<QWidget*>(findBox_)}) {
    w->setEnabled(editable && layout.findBox);
    w->setVisible(!verify);
  }
  for (QWidget* w : {static_cast<QWidget*>(replaceLabel_), static_cast<QWidget*>(replaceBox_)}) {
    w->setEnabled(editable && layout.replaceBox);
    w->setVisible(!verify);
  }
  for (QWidget* w : {static_cast<QWidget*>(sizeLabel_), static_cast<QWidget*>(minimumLabel_),
                     static_cast<QWidget*>(minimumEdit_), static_cast<QWidget*>(maximumLabel_),
                     static_cast<QWidget*>(maximumEdit_)})
    w->setEnabled(editable && layout.sizeBoxes);
  rangeLabel_->setEnabled(editable && layout.rangeList);
  rangeList_->setEnabled(editable && layout.rangeList);
  countEdit_->setEnabled(editable && layout.countBox);
  unicodeBox_->setEnabled(editable && (layout.findBox || layout.replaceBox));
  modeLabel_->setEnabled(idle);
  modeList_->setEnabled(idle);
  rulesButton_->setVisible(layout.verificationRules);
  rulesButton_->setEnabled(layout.verificationRules && static_cast<bool>(rulesOpener_));
}

void SearchWindow::showHistories() {
  const SearchHistories histories = driver_->historiesSnapshot();
  showEntries(findBox_, histories.find.entries());
  showEntries(replaceBox_, histories.replace.entries());
}

void SearchWindow::showStatus(int part, const QString& status) {
  (part == 0 ? stateLabel_ : countLabel_)->setText(status);
  if (part == 1) countLabel_->setAccessibleDescription(status);
  emit statusShown(part, status);
}

void SearchWindow::showCount() { showStatus(1, text(results_->countStatus())); }

QMenu* SearchWindow::makePopupMenu() {
  model_->flushNow();
  PopupState state;
  state.searchRunning = driver_->searchRunning();
  state.hasRows = results_->size() > 0;
  state.hasSelection = results_->selectedCount() > 0;
  state.browserItemSelected = currentItem_ && currentItem_().has_value();
  auto* menu = new QMenu(tr("Search Popup"), this);
  menu->setObjectName(QStringLiteral("SearchPopup"));
  menu->setAccessibleName(tr("Search Popup"));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  QMenu* results = menu->addMenu(tr("&Results"));
  results->setAccessibleName(tr("Results"));
  const std::vector<PopupEntry> entries = resultPopupMenu(state);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    QMenu* target = i < kResultsEntries ? results : menu;
    QAction* action = target->addAction(QString::fromLatin1(entries[i].text));
    action->setData(entries[i].id);
    action->setEnabled(entries[i].enabled);
    const auto command = static_cast<PopupCommand>(entries[i].id);
    // Run once the menu has gone: a command may open a dialog.
    connect(action, &QAction::triggered, this, [this, command] {
      QMetaObject::invokeMethod(this, [this, command] { runCommand(command); }, Qt::QueuedConnection);
    });
  }
  return menu;
}

void SearchWindow::showPopupMenu(const QPoint& viewportPosition) {
  QMenu* menu = makePopupMenu();
  menu->popup(view_->viewport()->mapToGlobal(viewportPosition));
}

void SearchWindow::runCommand(PopupCommand command) {
  model_->flushNow();
  switch (command) {
    case PopupCommand::Refresh:
      // Left to the implementer: the rows are shown again and counted.
      view_->viewport()->update();
      showCount();
      return;
    case PopupCommand::Load:
    case PopupCommand::Import:
    case PopupCommand::Verify:
    case PopupCommand::Reduce:
    case PopupCommand::Save: runFileCommand(command); return;
    case PopupCommand::Clear: driver_->clearResults(); return;
    case PopupCommand::Add: startAdd(); return;
    case PopupCommand::Remove: driver_->removeSelectedRows(); return;
    case PopupCommand::Apply:
    case PopupCommand::Update:
    case PopupCommand::Goto: driver_->runRowCommand(static_cast<RowCommand>(command)); return;
  }
}

QString SearchWindow::chooseFile(bool save) {
  QFileDialog dialog(this, tr("Registry Settings"), QString(), tr("Registry File (*.reg);;All Files (*.*)"));
  dialog.setObjectName(QStringLiteral("RegistrySettings"));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.selectFile(QStringLiteral("*.reg"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  QString name = dialog.selectedFiles().front();
  if (save && !QFileInfo(name).fileName().contains(QLatin1Char('.'))) name += QStringLiteral(".reg");
  return name;
}

void SearchWindow::runFileCommand(PopupCommand command) {
  const bool save = command == PopupCommand::Save;
  const QString file = chooseFile(save);
  if (file.isEmpty()) return;  // cancelled: nothing changes
  scripts::FileJob job;
  job.command = fileCommandOf(command);
  job.file = std::filesystem::path(file.toStdString());
  job.fresh = save;
  // The driver refuses it while a search runs ("Cannot correctly work on
  // registry data files whilst search is in progress.").
  driver_->startFileJob(JobKind::ResultsFile, [this, job](SearchContext& context) {
    std::lock_guard lock(transpositionsMutex_);
    scripts::runFileJob(job, context, transpositions_);
  });
}

int SearchWindow::addRegistryItem(const RowLocation& location) {
  std::lock_guard lock(transpositionsMutex_);
  return search::addRegistryItem(*results_, location, transpositions_);
}

void SearchWindow::startAdd() {
  std::optional<RowLocation> item = currentItem_ ? currentItem_() : std::nullopt;
  if (!item) return;
  std::erase_if(adders_, [](const ThreadHandle& thread) { return !thread || thread->finished(); });
  StartedThread started = startThread([this, location = *item]() -> DWORD {
    addRegistryItem(location);
    return 0;
  });
  if (started.handle) adders_.push_back(started.handle);
}

void SearchWindow::addDropped(std::vector<RowLocation> locations) {
  std::erase_if(adders_, [](const ThreadHandle& thread) { return !thread || thread->finished(); });
  StartedThread started = startThread([this, locations = std::move(locations)]() -> DWORD {
    for (const RowLocation& location : locations) addRegistryItem(location);
    return 0;
  });
  if (started.handle) adders_.push_back(started.handle);
}

bool SearchWindow::dropOnRows(QDropEvent* event) {
  const QMimeData* mime = event->mimeData();
  event->setDropAction(Qt::CopyAction);
  event->accept();
  const auto bytesOf = [mime](const char* format) {
    const QByteArray data = mime->data(format);
    return std::vector<BYTE>(data.begin(), data.end());
  };
  if (mime->hasFormat(browse::kEntryListMimeType) || mime->hasFormat(browse::kEntryMimeType)) {
    std::string problem;
    std::optional<std::vector<browse::EntryRecord>> records;
    if (mime->hasFormat(browse::kEntryListMimeType)) {
      records = browse::decodeEntryList(bytesOf(browse::kEntryListMimeType), problem);
    } else if (auto one = browse::decodeEntry(bytesOf(browse::kEntryMimeType), problem)) {
      records = std::vector<browse::EntryRecord>{std::move(*one)};
    }
    if (!records) {
      messageBox("The Memory containing the Registry Entry is in Protected Memory and Cannot be Accessed", "Sorry",
                 BoxButtons::Ok, BoxIcon::Stop);
      return true;
    }
    std::vector<RowLocation> locations;
    for (const auto& record : *records) locations.push_back(RowLocation{record.keyPath, record.valueName});
    addDropped(std::move(locations));
    return true;
  }
  if (mime->hasUrls()) {
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : mime->urls())
      if (url.isLocalFile()) files.emplace_back(url.toLocalFile().toStdString());
    if (files.empty()) {
      messageBox("Nothing Dropped or Invalid Source Object", "Cannot Drop Here", BoxButtons::Ok, BoxIcon::Exclamation);
      return true;
    }
    driver_->startFileJob(JobKind::ResultsFile, [this, files](SearchContext& context) {
      std::lock_guard lock(transpositionsMutex_);
      for (const auto& file : files) {
        scripts::FileJob job;
        job.command = scripts::FileCommand::Load;
        job.file = file;
        scripts::runFileJob(job, context, transpositions_);
      }
    });
    return true;
  }
  if (mime->hasText()) return true;  // plain text is not an entry
  messageBox("There was no suitable Data Format supplied for the Creation of a Registry Key", "No Suitable Data Format",
             BoxButtons::Ok, BoxIcon::Exclamation);
  return true;
}

bool SearchWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_->viewport()) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
      static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
      return true;
    }
    if (event->type() == QEvent::Drop) return dropOnRows(static_cast<QDropEvent*>(event));
    return false;
  }
  if (watched == view_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
      runCommand(PopupCommand::Remove);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void SearchWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  emit viewerReleased();
}

void SearchWindow::selectionToList(const QItemSelection& selected, const QItemSelection& deselected) {
  if (syncing_) return;
  // Rows that went from the model leave the selection too: those ranges are
  // no longer valid, and the list's rows have gone already.
  bool changed = false;
  for (const auto& [ranges, select] : {std::pair{&deselected, false}, std::pair{&selected, true}}) {
    for (const QItemSelectionRange& range : *ranges) {
      if (!range.isValid()) continue;
      for (int row = range.top(); row <= range.bottom(); ++row) results_->select(static_cast<std::size_t>(row), select);
      changed = true;
    }
  }
  if (changed) showCount();
}

void SearchWindow::listToSelection(int first, int last) {
  if (first < 0 || last < first) return;
  QItemSelectionModel* model = view_->selectionModel();
  // What the view has selected in the range, from its ranges (asking row by
  // row would cost as much as the selection has ranges, for every row).
  std::vector<char> shown(static_cast<std::size_t>(last - first + 1), 0);
  for (const QItemSelectionRange& range : model->selection())
    for (int row = std::max(range.top(), first); row <= std::min(range.bottom(), last); ++row)
      shown[static_cast<std::size_t>(row - first)] = 1;
  QItemSelection add, remove;
  const int lastColumn = model_->columnCount() - 1;
  auto extend = [&](QItemSelection& selection, int row) {
    if (!selection.isEmpty() && selection.back().bottom() == row - 1) {
      const QItemSelectionRange previous = selection.back();
      selection.back() = QItemSelectionRange(previous.topLeft(), model_->index(row, lastColumn));
    } else {
      selection.select(model_->index(row, 0), model_->index(row, lastColumn));
    }
  };
  for (int row = first; row <= last; ++row) {
    auto r = model_->rowAt(row);
    if (!r) continue;
    const bool wanted = r->selected;
    if (wanted == static_cast<bool>(shown[static_cast<std::size_t>(row - first)])) continue;
    extend(wanted ? add : remove, row);
  }
  if (add.isEmpty() && remove.isEmpty()) return;
  syncing_ = true;
  if (!add.isEmpty()) model->select(add, QItemSelectionModel::Select);
  if (!remove.isEmpty()) model->select(remove, QItemSelectionModel::Deselect);
  syncing_ = false;
}

void SearchWindow::selectionFromList() {
  const int rows = model_->rowCount();
  QItemSelection selection;
  const int lastColumn = model_->columnCount() - 1;
  int start = -1, previous = -2;
  auto close = [&] {
    if (start >= 0) selection.select(model_->index(start, 0), model_->index(previous, lastColumn));
  };
  for (std::size_t index : results_->selectedRows()) {
    const int row = static_cast<int>(index);
    if (row >= rows) break;
    if (row != previous + 1) {
      close();
      start = row;
    }
    previous = row;
  }
  close();
  syncing_ = true;
  view_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  syncing_ = false;
}

void SearchWindow::updateShownRow() {
  const QModelIndex current = view_->currentIndex();
  if (current.isValid() && view_->selectionModel()->isRowSelected(current.row(), QModelIndex())) {
    if (rowIsShown_ && shown_.isValid() && shown_.row() == current.row()) return;
    shown_ = QPersistentModelIndex(model_->index(current.row(), 0));
    rowIsShown_ = true;
    showRowAgain();
    return;
  }
  if (!rowIsShown_) return;
  rowIsShown_ = false;
  shown_ = QPersistentModelIndex();
  emit rowShown(std::nullopt, QString::fromLatin1(kSearchResultCaption));
}

void SearchWindow::changeShownRow(DWORD type, const std::vector<BYTE>& data) {
  if (!rowIsShown_ || !shown_.isValid()) return;
  results_->setRecord(static_cast<std::size_t>(shown_.row()), DataRecord{static_cast<int>(type), data});
}

void SearchWindow::showRowAgain() {
  std::optional<DataRecord> record;
  if (rowIsShown_ && shown_.isValid()) {
    if (auto row = model_->rowAt(shown_.row())) record = row->record;
  }
  emit rowShown(record, QString::fromLatin1(kSearchResultCaption));
}

}  // namespace talmoor::search::ui
