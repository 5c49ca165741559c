#include "frame/ui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QShortcut>
#include <QSplashScreen>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <fmt/format.h>

#include "base/debug_log.h"
#include "base/error_reporting.h"
#include "base/interaction.h"
#include "base/workspace.h"
#include "favourites/ui/organise_dialog.h"
#include "frame/frame_commands.h"
#include "browse/ui/key_browser_window.h"
#include "browse/ui/naming_rules_window.h"
#include "browse/ui/value_list_window.h"
#include "frame/ui/data_viewer_window.h"
#include "frame/ui/error_log_window.h"
#include "frame/ui/simple_windows.h"
#include "frame/ui/splash.h"
#include "frame/window_table.h"
#include "gui/gui_thread.h"
#include "gui/icons.h"
#include "platform/win32_error_text.h"
#include "platform/win32_errors.h"
#include "registry/access/registry_access.h"
#include "registry/registry_path.h"
#include "scripts/command_line.h"
#include "scripts/results_file_jobs.h"
#include "search/options/ui/search_options_dialog.h"
#include "search/ui/search_window.h"
#include "verify/ui/verification_rules_window.h"

namespace talmoor::frame::ui {

namespace {

// Saves every changed hive of the workspace; a failure says so in a box.
void saveAllHives(Workspace& workspace) {
  if (LONG rc = workspace.registry().flushAll(); rc != ERROR_SUCCESS) {
    auto reason = platform::systemErrorText(rc);
    messageBox(fmt::format("The changes could not all be saved.\n{}", reason.value_or("")), "Saving Hive",
               BoxButtons::Ok, BoxIcon::Stop);
  }
}


QString text(std::string_view view) { return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size())); }

constexpr int id(FrameCommand command) { return static_cast<int>(command); }
constexpr int id(WindowCommand command) { return static_cast<int>(command); }

// A subwindow that hides when closed: the frame's windows live as long as
// the frame, and the "&Window" menu shows them again.
class ChildFrame : public QMdiSubWindow {
 public:
  using QMdiSubWindow::QMdiSubWindow;
  bool frameClosing = false;

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (frameClosing) {
      QMdiSubWindow::closeEvent(event);
      return;
    }
    event->ignore();
    hide();
  }
};

// Answers Yes/No questions with a fixed answer and leaves every other box to
// the Interaction it stands in front of: --yes and --no for the command
// line's questions.
class AnsweringInteraction : public Interaction {
 public:
  AnsweringInteraction(std::shared_ptr<Interaction> inner, int answer) : inner_(std::move(inner)), answer_(answer) {}
  int messageBox(const MessageBoxRequest& request) override {
    if (request.buttons == BoxButtons::YesNo || request.buttons == BoxButtons::YesNoCancel) return answer_;
    return inner_->messageBox(request);
  }
  void showStatus(std::string_view status) override { inner_->showStatus(status); }
  ConfirmationReply confirmChange(const ConfirmationRequest& request) override {
    return inner_->confirmChange(request);
  }

 private:
  std::shared_ptr<Interaction> inner_;
  int answer_;
};

// The command line the program was started with, as the Options dialog's
// Alt+Shift+C shows it: arguments holding blanks are quoted.
std::string programCommandLine() {
  QStringList shown;
  for (const QString& argument : QCoreApplication::arguments())
    shown << (argument.contains(QLatin1Char(' ')) ? QLatin1Char('"') + argument + QLatin1Char('"') : argument);
  return shown.join(QLatin1Char(' ')).toStdString();
}

}  // namespace

// What the path opener drives: the key browser and the value list, on the
// GUI thread. Called on the opener's worker thread.
class MainFrame::Location : public LocationTarget {
 public:
  explicit Location(MainFrame* frame) : frame_(frame) {}

  bool selectKeyPath(const std::string& keyPath) override {
    bool reached = false;
    onGui([&] {
      if (frame_->keyBrowser_) reached = frame_->keyBrowser_->goTo(keyPath);
    });
    return reached;
  }

  void selectValue(const OpenPathRequest& request) override {
    if (!request.valueName) return;
    rememberLocation(request.keyPath, request.valueName);
    QPointer<MainFrame> frame(frame_);
    // The key as the tree spells it (the request may use a short root name
    // or another case).
    gui::postToGui(frame_, [frame, name = *request.valueName] {
      if (frame && frame->valueList_) frame->valueList_->selectValue(frame->keyBrowser_->selectedPath(), name);
    });
  }

  void selectRememberedValue() override {
    auto last = lastLocation();
    if (last && last->valueName) selectValue(*last);
  }

 private:
  // The opener waits for the tree: the path must be reached before its value
  // can be selected.
  void onGui(const std::function<void()>& work) {
    if (QThread::currentThread() == frame_->thread()) {
      work();
      return;
    }
    QMetaObject::invokeMethod(frame_, work, Qt::BlockingQueuedConnection);
  }

  MainFrame* frame_;
};

MainFrame::MainFrame(FrameStart start, QWidget* parent)
    : QMainWindow(parent),
      workspace_(start.workspace),
      start_(std::move(start)),
      commands_(std::make_unique<CommandThread>()),
      location_(std::make_unique<Location>(this)) {
  setWindowTitle(QStringLiteral("Talmoor"));
  setAccessibleName(QStringLiteral("Talmoor"));
  setObjectName(QStringLiteral("TalmoorFrame"));
  setWindowIcon(gui::applicationIcon());
  if (start_.splash) splash_ = showSplash();
  buildWindows();
  buildMenus();
  buildAccelerators();
  buildAddressBar();
  buildStatusBar();
  registerCommandWork();
  connectBrowsers();
  connectSearchWindow();
  watchHiveFiles();
  favourites_.setListener([frame = QPointer<MainFrame>(this)] {
    gui::postToGui(frame, [frame] {
      if (frame) frame->rebuildFavouritesMenu();
    });
  });
  favourites_.load();
  restoreWindows();
  debugOutput("frame: started");
}

MainFrame::~MainFrame() {
  favourites_.setListener(nullptr);
  waitForPathOpeners();
  commands_->quit();
}

void MainFrame::buildWindows() {
  area_ = new QMdiArea(this);
  area_->setAccessibleName(tr("Windows"));
  area_->setObjectName(QStringLiteral("Windows"));
  area_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setCentralWidget(area_);
  for (const ChildWindow& row : windowTable()) {
    const int command = static_cast<int>(row.command);
    QWidget* content = nullptr;
    switch (row.command) {
      case WindowCommand::ErrorLog: content = new ErrorLogWindow(workspace_->errorLog()); break;
      case WindowCommand::Debug: content = new DebugWindow(workspace_->service<DebugLog>()); break;
      case WindowCommand::About: content = new AboutWindow(*workspace_); break;
      case WindowCommand::Search: content = searchWindow_ = new search::ui::SearchWindow(); break;
      case WindowCommand::KeyBrowser: content = keyBrowser_ = new browse::ui::KeyBrowserWindow(workspace_); break;
      case WindowCommand::ValueList: content = valueList_ = new browse::ui::ValueListWindow(); break;
      case WindowCommand::DataViewer: content = dataViewer_ = new DataViewerWindow(); break;
      case WindowCommand::NamingRules: content = namingRules_ = new browse::ui::NamingRulesWindow(workspace_); break;
      default: content = new PlaceholderWindow(row); break;
    }
    auto* child = new ChildFrame();
    child->setWidget(content);
    child->setWindowTitle(text(row.title));
    child->setAccessibleName(text(row.title));
    child->setObjectName(text(row.title));
    child->setWindowIcon(gui::windowIcon(command));
    child->setAttribute(Qt::WA_DeleteOnClose, false);
    area_->addSubWindow(child);
    // The Search window's rows need room beside its parameters.
    child->resize(command == id(WindowCommand::Search) ? QSize(760, 560) : QSize(480, 320));
    child->hide();
    windows_[command] = child;
  }
}

void MainFrame::buildMenus() {
  auto addCommand = [this](QMenu* menu, const QString& label, int command, const QKeySequence& keys = {}) {
    QAction* action = menu->addAction(label);
    action->setData(command);
    if (!keys.isEmpty()) action->setShortcut(keys);
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
    actions_[command] = action;
    return action;
  };

  // "F&ile": Alt+F belongs to the Favourites menu (command 281).
  QMenu* file = menuBar()->addMenu(tr("F&ile"));
  addCommand(file, tr("&Import Registry File..."), id(FrameCommand::ImportFile));
  addCommand(file, tr("&Export Registry File..."), id(FrameCommand::ExportFile));
  file->addSeparator();
  addCommand(file, tr("E&xit"), id(FrameCommand::Exit), QKeySequence::Quit);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  // The Search window's own entry (and keys) is in the Window menu.
  QAction* find = edit->addAction(tr("&Find..."));
  find->setData(id(WindowCommand::Search));
  connect(find, &QAction::triggered, this, [this] { runCommand(id(WindowCommand::Search)); });
  addCommand(edit, tr("&Add to Search Results"), id(FrameCommand::AddToResults));
  addCommand(edit, tr("&Remove from Search Results"), id(FrameCommand::Remove));
  edit->addSeparator();
  // The keys (Ctrl+C, Ctrl+X, Ctrl+V) belong to the browsers' lists, so that
  // the frame's text boxes keep theirs.
  addCommand(edit, tr("C&opy"), id(FrameCommand::Copy));
  addCommand(edit, tr("Cu&t"), id(FrameCommand::Cut));
  addCommand(edit, tr("&Paste"), id(FrameCommand::Paste));
  addCommand(edit, tr("Copy &Key Name"), id(FrameCommand::CopyKeyName));

  QMenu* view = menuBar()->addMenu(tr("&View"));
  addCommand(view, tr("Go to &Path"), id(FrameCommand::GoToPath), QKeySequence(tr("Ctrl+L")));
  QAction* addressBar = addCommand(view, tr("&Address Bar"), id(FrameCommand::ShowAddressBar));
  addressBar->setCheckable(true);
  addressBar->setChecked(true);
  QAction* statusBarShown = addCommand(view, tr("&Status Bar"), id(FrameCommand::ShowStatusBar));
  statusBarShown->setCheckable(true);
  statusBarShown->setChecked(true);

  favouritesMenu_ = menuBar()->addMenu(tr("&Favourites"));
  favouritesMenu_->setObjectName(QStringLiteral("Favourites"));
  rebuildFavouritesMenu();

  // "&Options" is a command of the menu bar itself.
  QAction* options = menuBar()->addAction(tr("&Options"));
  options->setData(id(FrameCommand::Options));
  connect(options, &QAction::triggered, this, [this] { runCommand(id(FrameCommand::Options)); });
  actions_[id(FrameCommand::Options)] = options;

  windowMenu_ = menuBar()->addMenu(tr("&Window"));
  windowMenu_->setObjectName(QStringLiteral("Window"));
  for (const ChildWindow& row : windowTable()) {
    QAction* action = addCommand(windowMenu_, text(row.menuText), static_cast<int>(row.command));
    action->setCheckable(true);
  }
  windowMenu_->addSeparator();
  QAction* cascade = windowMenu_->addAction(tr("&Cascade"));
  connect(cascade, &QAction::triggered, area_, &QMdiArea::cascadeSubWindows);
  QAction* tile = windowMenu_->addAction(tr("&Tile"));
  connect(tile, &QAction::triggered, area_, &QMdiArea::tileSubWindows);
  // The checks follow what is shown.
  connect(windowMenu_, &QMenu::aboutToShow, this, [this] {
    for (const auto& [command, child] : windows_)
      if (QAction* action = commandAction(command)) action->setChecked(child->isVisible());
  });

  QMenu* help = menuBar()->addMenu(tr("&Help"));
  QAction* about = help->addAction(tr("&About Talmoor"));
  about->setData(id(WindowCommand::About));
  connect(about, &QAction::triggered, this, [this] { runCommand(id(WindowCommand::About)); });
}

void MainFrame::buildAccelerators() {
  for (const Accelerator& accelerator : acceleratorTable()) {
    // Alt+F, Alt+O and Alt+W open the menus whose letters they are: the menu
    // bar's own mnemonics give those commands already, and a second shortcut
    // on the same keys would leave both unusable.
    if (accelerator.command == id(FrameCommand::OpenFavouritesMenu) ||
        accelerator.command == id(FrameCommand::OpenWindowMenu) || accelerator.command == id(FrameCommand::Options))
      continue;
    const QKeySequence keys(text(accelerator.keys));
    // On the menu entry of the same command, where the menu shows the keys;
    // a frame-wide shortcut for a command no menu lists.
    if (QAction* action = commandAction(accelerator.command)) {
      QList<QKeySequence> all = action->shortcuts();
      all << keys;
      action->setShortcuts(all);
      action->setShortcutContext(Qt::WindowShortcut);
      continue;
    }
    auto* shortcut = new QShortcut(keys, this);
    const int command = accelerator.command;
    connect(shortcut, &QShortcut::activated, this, [this, command] { runCommand(command); });
  }
}

void MainFrame::buildAddressBar() {
  auto* bar = addToolBar(tr("Address Bar"));
  bar->setObjectName(QStringLiteral("AddressBar"));
  bar->setAccessibleName(tr("Address Bar"));
  bar->setMovable(true);
  computerBox_ = new QComboBox(bar);
  computerBox_->setAccessibleName(tr("Computer"));
  computerBox_->setToolTip(text(kComputerTip));
  computerBox_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  for (const auto& computer : address_.computers()) computerBox_->addItem(QString::fromStdString(computer));
  hiveBox_ = new QComboBox(bar);
  hiveBox_->setAccessibleName(tr("Hive"));
  hiveBox_->setToolTip(text(kHiveTip));
  hiveBox_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  for (const auto& hive : address_.hives()) hiveBox_->addItem(QString::fromStdString(hive));
  hiveBox_->setCurrentText(QStringLiteral("HKEY_LOCAL_MACHINE"));
  auto* computerLabel = new QLabel(tr("&Computer:"), bar);
  computerLabel->setBuddy(computerBox_);
  auto* hiveLabel = new QLabel(tr("H&ive:"), bar);
  hiveLabel->setBuddy(hiveBox_);
  bar->addWidget(computerLabel);
  bar->addWidget(computerBox_);
  bar->addSeparator();
  bar->addWidget(hiveLabel);
  bar->addWidget(hiveBox_);

  // The Path band starts a row of its own.
  addToolBarBreak();
  auto* pathBar = addToolBar(tr("Path Bar"));
  pathBar->setObjectName(QStringLiteral("PathBar"));
  pathBar->setAccessibleName(tr("Path Bar"));
  pathBox_ = new QComboBox(pathBar);
  pathBox_->setEditable(true);
  pathBox_->setInsertPolicy(QComboBox::NoInsert);
  pathBox_->setAccessibleName(tr("Path"));
  pathBox_->lineEdit()->setAccessibleName(tr("Path"));
  pathBox_->setToolTip(text(kPathTip));
  pathBox_->setMinimumContentsLength(60);
  pathBox_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  auto* pathLabel = new QLabel(tr("&Path:"), pathBar);
  pathLabel->setBuddy(pathBox_);
  pathBar->addWidget(pathLabel);
  pathBar->addWidget(pathBox_);
  connect(pathBox_->lineEdit(), &QLineEdit::returnPressed, this, &MainFrame::goToTypedPath);
  connect(pathBox_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
    if (index >= 0) goTo(OpenPathRequest{pathBox_->itemText(index).toStdString(), std::nullopt, false});
  });
  connect(hiveBox_, qOverload<int>(&QComboBox::activated), this, [this](int) {
    goTo(OpenPathRequest{AddressBarModel::resolve(computerBox_->currentText().toStdString(),
                                                  hiveBox_->currentText().toStdString(), ""),
                         std::nullopt, false});
  });
  connect(computerBox_, qOverload<int>(&QComboBox::activated), this, [this](int) { goToTypedPath(); });
}

void MainFrame::buildStatusBar() {
  status_ = new QLabel(tr("Ready"), this);
  status_->setAccessibleName(tr("Status"));
  progress_ = new QProgressBar(this);
  progress_->setAccessibleName(tr("Progress"));
  progress_->setRange(0, 0);  // busy, for work that cannot say how far it is
  progress_->setMaximumWidth(160);
  progress_->hide();
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(progress_);
  // The progress bar shows while the Search window's job runs.
  auto* watch = new QTimer(this);
  connect(watch, &QTimer::timeout, this, [this] {
    const bool busy = searchWindow_ && searchWindow_->driver().searchRunning();
    if (busy != progress_->isVisible()) progress_->setVisible(busy);
  });
  watch->start(200);
}

void MainFrame::watchHiveFiles() {
  // Another program (Wine, another Talmoor) may save a hive this window has
  // open; saves merge with it anyway, but what the windows show would be old.
  // Wine's server writes all of a prefix's files as it ends: one question
  // covers every file changed since the last look.
  auto* watch = new QTimer(this);
  connect(watch, &QTimer::timeout, this, [this] {
    if (closing_ || QApplication::activeModalWidget()) return;
    auto machine = workspace_->registry().localShared();
    std::vector<std::shared_ptr<platform::Hive>> changed;
    for (const auto& hive : machine->hives()) {
      if (!hive || hive->file().empty()) continue;
      if (!hive->changedOnDisk()) {
        askedAboutHives_.erase(hive.get());
        continue;
      }
      if (askedAboutHives_.insert(hive.get()).second) changed.push_back(hive);  // asked once per change
    }
    if (changed.empty()) return;
    std::string files;
    for (const auto& hive : changed) files += "\n  " + hive->file().string();
    const std::string text = fmt::format(
        "These hive files have been changed by another program:{}\n\nReload them? (Changes made here and not yet "
        "saved are kept.)",
        files);
    if (messageBox(text, "Hive Changed", BoxButtons::YesNo, BoxIcon::Question) != IDYES) return;
    for (const auto& hive : changed)
      if (machine->reloadHive(hive) == ERROR_SUCCESS) askedAboutHives_.erase(hive.get());
    if (keyBrowser_) keyBrowser_->runCommand(browse::ui::KeyCommand::Refresh);
  });
  watch->start(3000);
}

void MainFrame::connectBrowsers() {
  using browse::ui::KeyBrowserWindow;
  using browse::ui::ValueListWindow;
  connect(keyBrowser_, &KeyBrowserWindow::keySelected, this, [this](const QString& path) {
    const std::string key = path.toStdString();
    // The roots and "My Computer" have no values of their own to show.
    const bool quiet = key.find('\\') == std::string::npos;
    valueList_->showKey(key, quiet);
    dataViewer_->clear();
    if (!key.empty()) showLocation(key, std::nullopt);
  });
  connect(keyBrowser_, &KeyBrowserWindow::keyRefreshed, this, [this](const QString& path) {
    if (valueList_->keyPath() == path.toStdString()) valueList_->showKey("");
  });
  // New rules name the selected key and its children again (one key read
  // here, the listing and naming on workers). Other branches keep their
  // names until they are refreshed themselves.
  connect(namingRules_, &browse::ui::NamingRulesWindow::rulesApplied, this,
          [this] { keyBrowser_->runCommand(browse::ui::KeyCommand::Refresh); });
  connect(keyBrowser_, &KeyBrowserWindow::importRequested, this, [this] { runCommand(id(FrameCommand::ImportFile)); });
  connect(keyBrowser_, &KeyBrowserWindow::exportRequested, this, [this] { runCommand(id(FrameCommand::ExportFile)); });
  connect(keyBrowser_, &KeyBrowserWindow::importFileRequested, this, [this](const QString& file) {
    runFileJob(id(FrameCommand::ImportFile), file.toStdString(), std::nullopt, true);
  });
  connect(keyBrowser_, &KeyBrowserWindow::gotoRequested, this, [this] {
    pathBox_->setFocus();
    pathBox_->lineEdit()->selectAll();
  });
  connect(valueList_, &ValueListWindow::valueSelected, this, [this](const QString& key, const QString& value) {
    dataViewer_->showRegistryValue(key.toStdString(), value.toStdString());
    showLocation(key.toStdString(), value.toStdString());
  });
  connect(valueList_, &ValueListWindow::valueCleared, this, [this] { dataViewer_->clear(); });
  connect(dataViewer_, &DataViewerWindow::written, this, [this](const QString& key, const QString& value, bool ok) {
    if (ok) valueList_->reloadValue(key.toStdString(), value.toStdString());
  });
  connect(valueList_, &ValueListWindow::gotoRequested, this, [this](const QString& path) {
    keyBrowser_->goTo(path.toStdString());
  });
}

void MainFrame::connectSearchWindow() {
  using search::ui::SearchWindow;
  // A search starts at the location shown in the address bar; none walks
  // the whole registry.
  searchWindow_->setStartPathSource([this]() -> std::optional<std::string> {
    if (currentPath_.empty()) return std::nullopt;
    return currentPath_;
  });
  searchWindow_->setPathOpener([this](const search::RowLocation& location) {
    goTo(OpenPathRequest{location.keyPath, location.valueName, false});
  });
  searchWindow_->setCurrentItemSource([this]() -> std::optional<search::RowLocation> {
    if (currentPath_.empty()) return std::nullopt;
    return search::RowLocation{currentPath_, currentValue_};
  });
  searchWindow_->setVerificationRulesOpener([this] { verify::ui::showVerificationRulesWindow(this); });
  // What a search or an import changed is saved when it ends, as every
  // change of the browsers is, so that Wine's own tools see it at once.
  searchWindow_->driver().setJobEndedHook([workspace = workspace_] { saveAllHives(*workspace); });
  // The data viewer shows the Search window's row while that window has the
  // focus, and the browsers' value again once it is hidden.
  connect(searchWindow_, &SearchWindow::rowShown, this,
          [this](const std::optional<search::DataRecord>& record, const QString&) {
            dataViewer_->showSearchResult(record);
          });
  connect(dataViewer_, &DataViewerWindow::searchResultEdited, searchWindow_, &SearchWindow::changeShownRow);
  connect(searchWindow_, &SearchWindow::viewerReleased, this, [this] {
    if (!dataViewer_->showingSearchResult()) return;
    if (currentValue_ && !currentPath_.empty())
      dataViewer_->showRegistryValue(currentPath_, *currentValue_);
    else
      dataViewer_->clear();
  });
}

void MainFrame::registerCommandWork() {
  QPointer<MainFrame> frame(this);
  commands_->setHandler(CommandMessage::GoToFavourite, [this, frame](WPARAM command, CommandThread::Record record) {
    std::optional<std::string> value;
    if (record.has_value()) value = std::any_cast<std::string>(record);
    if (auto request = favourites_.goTo(static_cast<int>(command), value)) {
      gui::postToGui(frame, [frame, request = *request] {
        if (frame) frame->goTo(request);
      });
    }
  });
  commands_->setHandler(CommandMessage::SelectRequestedValue, [this](WPARAM, CommandThread::Record record) {
    if (record.has_value()) location_->selectValue(std::any_cast<OpenPathRequest>(record));
  });
  commands_->setHandler(CommandMessage::StartPathOpener, [frame](WPARAM, CommandThread::Record record) {
    if (!record.has_value()) return;
    gui::postToGui(frame, [frame, request = std::any_cast<OpenPathRequest>(record)] {
      if (frame) frame->goTo(request);
    });
  });
  // Alt+A and the Edit menu's entries for the search results (the command
  // thread ends before the Search window goes).
  commands_->setHandler(CommandMessage::AddCurrentToResults, [this](WPARAM, CommandThread::Record record) {
    if (!record.has_value()) return;
    const auto request = std::any_cast<OpenPathRequest>(record);
    if (!request.keyPath.empty()) searchWindow_->addRegistryItem(search::RowLocation{request.keyPath, request.valueName});
  });
  commands_->setHandler(CommandMessage::ResultsRowCommand, [this](WPARAM command, CommandThread::Record) {
    if (command == static_cast<WPARAM>(id(FrameCommand::Remove))) searchWindow_->driver().removeSelectedRows();
  });
  commands_->setObserver([](const std::string& line) { debugOutput(line); });
}

void MainFrame::rebuildFavouritesMenu() {
  favouritesMenu_->clear();
  for (const auto& entry : favourites_.menu()) {
    if (entry.kind == favourites::MenuEntry::Kind::Separator) {
      favouritesMenu_->addSeparator();
      continue;
    }
    const QString label = QString::fromStdString(entry.text);
    const int command = entry.command;
    if (entry.kind == favourites::MenuEntry::Kind::Favourite && !entry.valueNames.empty()) {
      // A key with values: the key itself first, then each value.
      QMenu* values = favouritesMenu_->addMenu(gui::keyIcon(gui::KeyKind::Closed), label);
      QAction* key = values->addAction(label);
      connect(key, &QAction::triggered, this, [this, command] { runCommand(command); });
      values->addSeparator();
      for (const auto& name : entry.valueNames) {
        QAction* value = values->addAction(QString::fromStdString(favourites::shownName(name)));
        connect(value, &QAction::triggered, this, [this, command, name] {
          commands_->post(CommandMessage::GoToFavourite, static_cast<WPARAM>(command), name);
        });
      }
      values->menuAction()->setData(command);
      continue;
    }
    QAction* action = favouritesMenu_->addAction(label);
    action->setData(command);
    action->setEnabled(entry.enabled);
    // "Ctrl-A" and "Ctrl-O" are part of the menu's texts, not frame keys: the
    // accelerator table has no such entries, and Ctrl+A must stay "select
    // all" in every text field.
    if (entry.kind == favourites::MenuEntry::Kind::Favourite)
      action->setIcon(gui::keyIcon(gui::KeyKind::Closed));
    connect(action, &QAction::triggered, this, [this, command] { runCommand(command); });
  }
}

void MainFrame::restoreWindows() {
  const std::vector<BYTE> geometry = frameGeometrySetting();
  if (!geometry.empty())
    restoreGeometry(QByteArray(reinterpret_cast<const char*>(geometry.data()), static_cast<qsizetype>(geometry.size())));
  else
    resize(1200, 800);
  for (int command : openWindowsSetting()) {
    if (QMdiSubWindow* child = subWindow(command)) child->show();
  }
}

void MainFrame::arrangeBrowsers() {
  // The key tree down the left, the values and their data on the right, as
  // a registry editor is laid out; the other windows cascade over them.
  const QRect area = area_->viewport()->rect();
  const int left = area.width() * 2 / 5;
  const int top = area.height() / 2;
  auto place = [this](WindowCommand command, QRect where) {
    if (QMdiSubWindow* child = subWindow(static_cast<int>(command)); child && child->isVisible())
      child->setGeometry(where);
  };
  place(WindowCommand::KeyBrowser, QRect(0, 0, left, area.height()));
  place(WindowCommand::ValueList, QRect(left, 0, area.width() - left, top));
  place(WindowCommand::DataViewer, QRect(left, top, area.width() - left, area.height() - top));
  int offset = 0;
  for (const auto& [command, child] : windows_) {
    if (!child->isVisible() || command == id(WindowCommand::KeyBrowser) || command == id(WindowCommand::ValueList) ||
        command == id(WindowCommand::DataViewer))
      continue;
    child->setGeometry(QRect(40 + offset, 40 + offset, area.width() / 2, area.height() / 2));
    offset += 28;
  }
}

void MainFrame::keepWindows() {
  const QByteArray geometry = saveGeometry();
  keepFrameGeometry(std::span(reinterpret_cast<const BYTE*>(geometry.constData()), static_cast<std::size_t>(geometry.size())));
  std::vector<int> open;
  for (const ChildWindow& row : windowTable())
    if (subWindow(static_cast<int>(row.command))->isVisible()) open.push_back(static_cast<int>(row.command));
  keepOpenWindows(open);
}

QAction* MainFrame::commandAction(int command) const {
  auto found = actions_.find(command);
  return found == actions_.end() ? nullptr : found->second;
}

QMdiSubWindow* MainFrame::subWindow(int command) const {
  auto found = windows_.find(command);
  return found == windows_.end() ? nullptr : found->second;
}

void MainFrame::showWindow(int command) {
  if (!lookupChildWindow(command)) return;
  QMdiSubWindow* child = subWindow(command);
  child->show();
  area_->setActiveSubWindow(child);
  child->widget()->setFocus();
}

void MainFrame::popUpMenuOf(QMenu* menu) {
  QAction* title = menu->menuAction();
  const QRect place = menuBar()->actionGeometry(title);
  menu->popup(menuBar()->mapToGlobal(place.bottomLeft()));
}

void MainFrame::runCommand(int command) {
  if (command >= id(FrameCommand::FirstFavourite) && command <= id(FrameCommand::LastFavourite)) {
    commands_->post(CommandMessage::GoToFavourite, static_cast<WPARAM>(command));
    return;
  }
  if (findChildWindow(command)) {
    showWindow(command);
    return;
  }
  switch (static_cast<FrameCommand>(command)) {
    case FrameCommand::AddToResults:
      commands_->post(CommandMessage::AddCurrentToResults, 0, OpenPathRequest{currentPath_, currentValue_, false});
      return;
    case FrameCommand::Remove: commands_->post(CommandMessage::ResultsRowCommand, static_cast<WPARAM>(command)); return;
    case FrameCommand::OpenWindowMenu: popUpMenuOf(windowMenu_); return;
    case FrameCommand::OpenFavouritesMenu: popUpMenuOf(favouritesMenu_); return;
    case FrameCommand::Options:
      search::ui::runSearchOptionsDialog(this, programCommandLine(),
                                         [this] { runCommand(id(WindowCommand::NamingRules)); });
      return;
    case FrameCommand::AddFavourite: addFavourite(); return;
    case FrameCommand::OrganiseFavourites: organiseFavourites(); return;
    case FrameCommand::ImportFile: importFile(); return;
    case FrameCommand::ExportFile: exportFile(); return;
    case FrameCommand::Exit: close(); return;
    case FrameCommand::GoToPath:
      pathBox_->setFocus(Qt::ShortcutFocusReason);
      pathBox_->lineEdit()->selectAll();
      return;
    case FrameCommand::ShowAddressBar:
      for (auto* bar : findChildren<QToolBar*>()) bar->setVisible(commandAction(command)->isChecked());
      return;
    case FrameCommand::ShowStatusBar: statusBar()->setVisible(commandAction(command)->isChecked()); return;
    case FrameCommand::Copy:
    case FrameCommand::Cut:
    case FrameCommand::Paste:
    case FrameCommand::CopyKeyName: transferCommand(static_cast<FrameCommand>(command)); return;
    default: lookupChildWindow(command); return;
  }
}

// The Edit menu's copy and move go to the value list when it is the active
// window, and to the key browser otherwise.
void MainFrame::transferCommand(FrameCommand command) {
  const int offset = command == FrameCommand::Copy  ? 0
                     : command == FrameCommand::Cut ? 1
                     : command == FrameCommand::Paste ? 2
                                                      : 3;
  QMdiSubWindow* active = area_->activeSubWindow();
  if (valueList_ && active && active->widget() == valueList_) {
    valueList_->runCommand(static_cast<int>(browse::ui::ValueCommand::Copy) + offset);
    return;
  }
  if (keyBrowser_)
    keyBrowser_->runCommand(static_cast<browse::ui::KeyCommand>(static_cast<int>(browse::ui::KeyCommand::Copy) + offset));
}

void MainFrame::goToTypedPath() {
  const std::string path = AddressBarModel::resolve(computerBox_->currentText().toStdString(),
                                                    hiveBox_->currentText().toStdString(),
                                                    pathBox_->currentText().toStdString());
  goTo(OpenPathRequest{path, std::nullopt, false});
}

void MainFrame::goTo(const OpenPathRequest& request) {
  std::erase_if(openers_, [](const ThreadHandle& thread) { return !thread || thread->finished(); });
  Location* target = location_.get();
  CommandThread* commands = commands_.get();
  StartedThread started = startThread([request, target, commands]() -> DWORD {
    return static_cast<DWORD>(openTreePath(request, *target, commands));
  });
  if (started.handle) openers_.push_back(started.handle);
}

void MainFrame::waitForPathOpeners() {
  // The openers may be waiting on a box of this thread: keep answering.
  for (;;) {
    std::erase_if(openers_, [](const ThreadHandle& thread) { return !thread || thread->finished(); });
    if (openers_.empty()) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

void MainFrame::showLocation(const std::string& keyPath, const std::optional<std::string>& valueName) {
  currentPath_ = keyPath;
  currentValue_ = valueName;
  const AddressParts parts = AddressBarModel::split(keyPath);
  computerBox_->setCurrentText(QString::fromStdString(parts.computer));
  hiveBox_->setCurrentText(QString::fromStdString(parts.hive));
  address_.visit(keyPath);
  pathBox_->blockSignals(true);
  pathBox_->clear();
  for (const auto& visited : address_.history()) pathBox_->addItem(QString::fromStdString(visited));
  pathBox_->setEditText(QString::fromStdString(keyPath));
  pathBox_->blockSignals(false);
  QString shown = QString::fromStdString(keyPath);
  if (valueName) shown += tr("  [%1]").arg(QString::fromStdString(favourites::shownName(*valueName)));
  showStatus(shown);
  debugOutput("frame: at " + keyPath + (valueName ? " [" + *valueName + "]" : std::string()));
}

void MainFrame::showStatus(const QString& text) {
  status_->setText(text);
  // A screen reader reads the line by its description; its name stays "Status".
  status_->setAccessibleDescription(text);
}

QString MainFrame::statusText() const { return status_->text(); }

void MainFrame::addFavourite() {
  if (currentPath_.empty()) {
    messageBox("Go to a key first: a favourite is the location shown in the Path box.", "Add Favourite");
    return;
  }
  bool ok = false;
  const QString suggested = QString::fromStdString(std::string(registry::lastComponent(currentPath_)));
  QString name = QInputDialog::getText(this, tr("Add Favourite"), tr("Name of the favourite for %1:")
                                                                     .arg(QString::fromStdString(currentPath_)),
                                       QLineEdit::Normal, suggested, &ok);
  if (ok) favourites_.add(name.toStdString(), currentPath_);
}

void MainFrame::organiseFavourites() {
  favourites::ui::OrganiseDialog dialog(favourites_, QString::fromStdString(currentPath_), this);
  dialog.exec();
}

void MainFrame::importFile() {
  const QString file = QFileDialog::getOpenFileName(this, tr("Import Registry File"), QString(),
                                                    tr("Registry Files (*.reg);;All Files (*)"));
  if (!file.isEmpty()) runFileJob(id(FrameCommand::ImportFile), file.toStdString(), std::nullopt, true);
}

void MainFrame::exportFile() {
  QFileDialog dialog(this, tr("Export Registry File"), QString(), tr("Registry Files (*.reg);;All Files (*)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("reg"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  runFileJob(id(FrameCommand::ExportFile), dialog.selectedFiles().front().toStdString(),
             currentPath_.empty() ? std::nullopt : std::optional<std::string>(currentPath_), false);
}

// Import (or a test import, command 0) and export run on the Search window's
// driver, which shows their rows and can stop them.
void MainFrame::runFileJob(int command, const std::string& file, const std::optional<std::string>& key,
                           bool showResults) {
  scripts::FileJob job;
  job.file = file;
  job.startKey = key;
  search::JobKind kind = search::JobKind::ResultsFile;
  if (command == id(FrameCommand::ExportFile)) {
    job.command = scripts::FileCommand::Export;
    job.fresh = true;
    kind = search::JobKind::Export;
  } else {
    job.command = command == id(FrameCommand::ImportFile) ? scripts::FileCommand::Import
                                                          : scripts::FileCommand::TestImport;
  }
  search::ProfileTranspositions* transpositions = &transpositions_;
  searchWindow_->driver().startFileJob(kind, [job, transpositions](search::SearchContext& context) {
    scripts::runFileJob(job, context, *transpositions);
  });
  if (showResults) showWindow(id(WindowCommand::Search));
}

void MainFrame::startSession() {
  // The splash never stands in front of a question of the command line.
  if (splash_ && !start_.commandLine.empty()) splash_->finish(this);
  arrangeBrowsers();
  if (auto last = lastLocation()) goTo(*last);
  processCommandLine();
  showWindow(id(WindowCommand::KeyBrowser));
}

void MainFrame::processCommandLine() {
  if (start_.commandLine.empty()) return;
  std::optional<ScopedInteraction> answering;
  if (start_.commandLineAnswer != 0)
    answering.emplace(std::make_shared<AnsweringInteraction>(interaction(), start_.commandLineAnswer));
  CommandLineHandlers handlers;
  handlers.exportKey = [this](const std::string& file, const std::optional<std::string>& key) {
    runFileJob(id(FrameCommand::ExportFile), file, key, false);
  };
  handlers.openPath = [this](const std::optional<std::string>& key) {
    goTo(OpenPathRequest{key.value_or("HKEY_LOCAL_MACHINE"), std::nullopt, false});
  };
  handlers.import = [this](const std::string& file) { runFileJob(id(FrameCommand::ImportFile), file, std::nullopt, true); };
  handlers.testImport = [this](const std::string& file) { runFileJob(0, file, std::nullopt, true); };
  talmoor::processCommandLine(start_.commandLine, handlers);
}

void MainFrame::saveRegistry() { saveAllHives(*workspace_); }

void MainFrame::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    std::vector<ClosingVoter*> children{searchWindow_};
    if (!askChildrenToClose(children)) {
      showStatus(tr("A search is running: it has been asked to stop. Close again once it has."));
      event->ignore();
      return;
    }
    closing_ = true;
  }
  keepWindows();
  waitForPathOpeners();
  // Nothing in flight may be lost: the command thread ends after what is
  // queued, every worker leaves its lock, the Search window's job ends, and
  // only then are the changed hives written.
  commands_->quit();
  locks_.drain();
  searchWindow_->driver().waitUntilIdle();
  saveRegistry();
  for (const auto& [command, child] : windows_) static_cast<ChildFrame*>(child)->frameClosing = true;
  debugOutput("frame: closed");
  event->accept();
}

}  // namespace talmoor::frame::ui
