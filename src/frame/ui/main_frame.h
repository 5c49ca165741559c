#pragma once
// The frame: "Talmoor", an MDI area with one subwindow per row of the window
// table, the menus and accelerators, the address bar, the status bar, and
// the start and the end of a desktop session (the last location, the
// registry editor's command line, closing in order).

#include <QMainWindow>
#include <QPointer>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/thread_starter.h"
#include "favourites/favourites.h"
#include "frame/frame_commands.h"
#include "frame/address_bar_model.h"
#include "frame/command_thread.h"
#include "frame/frame_session.h"
#include "frame/location.h"
#include "search/results/row_operations.h"

class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QSplashScreen;

namespace talmoor {
class Workspace;
}
namespace talmoor::search::ui {
class SearchWindow;
}
namespace talmoor::browse::ui {
class KeyBrowserWindow;
class NamingRulesWindow;
class ValueListWindow;
}  // namespace talmoor::browse::ui

namespace talmoor::frame::ui {

class ErrorLogWindow;
class DataViewerWindow;

// How the desktop was started.
struct FrameStart {
  std::shared_ptr<Workspace> workspace;
  // The registry editor's command line ("/E file.reg KEY", "file.reg", ...),
  // as one text; empty for none.
  std::string commandLine;
  // Answers the command line's questions without asking: IDYES or IDNO; 0 asks.
  int commandLineAnswer = 0;
  bool splash = true;
};

class MainFrame : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainFrame(FrameStart start, QWidget* parent = nullptr);
  ~MainFrame() override;

  // After the frame is shown: the last location, then the command line.
  void startSession();

  // A menu command or accelerator, by its number.
  void runCommand(int command);
  QAction* commandAction(int command) const;
  QMdiSubWindow* subWindow(int command) const;
  QMenu* favouritesMenu() const { return favouritesMenu_; }
  QMenu* windowMenu() const { return windowMenu_; }
  QComboBox* pathBox() const { return pathBox_; }
  QComboBox* hiveBox() const { return hiveBox_; }
  QComboBox* computerBox() const { return computerBox_; }
  search::ui::SearchWindow* searchWindow() const { return searchWindow_; }
  browse::ui::KeyBrowserWindow* keyBrowser() const { return keyBrowser_; }
  browse::ui::ValueListWindow* valueList() const { return valueList_; }
  DataViewerWindow* dataViewer() const { return dataViewer_; }
  favourites::FavouritesModel& favourites() { return favourites_; }
  CommandThread& commands() { return *commands_; }

  // The location shown: the full key path, and the value when one was asked for.
  QString currentPath() const { return QString::fromStdString(currentPath_); }
  QString currentValue() const { return QString::fromStdString(currentValue_.value_or("")); }

  // The status line's text (the Interaction's status, the location shown).
  void showStatus(const QString& text);
  QString statusText() const;

  // Goes to a location through the path opener, on a worker thread.
  void goTo(const OpenPathRequest& request);
  // Called (on the GUI thread) when the path opener has reached a location.
  void showLocation(const std::string& keyPath, const std::optional<std::string>& valueName);
  // Waits, processing events, until the path openers started so far end.
  void waitForPathOpeners();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class Location;

  void buildWindows();
  void buildMenus();
  void buildAccelerators();
  void buildAddressBar();
  void buildStatusBar();
  void registerCommandWork();
  void connectBrowsers();
  void connectSearchWindow();
  void watchHiveFiles();
  void rebuildFavouritesMenu();
  void restoreWindows();
  void keepWindows();
  void arrangeBrowsers();
  void showWindow(int command);
  void popUpMenuOf(QMenu* menu);
  void goToTypedPath();
  void addFavourite();
  void organiseFavourites();
  void importFile();
  void transferCommand(frame::FrameCommand command);
  void exportFile();
  void processCommandLine();
  void runFileJob(int command, const std::string& file, const std::optional<std::string>& key, bool showResults);
  void saveRegistry();

  std::shared_ptr<Workspace> workspace_;
  FrameStart start_;
  std::unique_ptr<CommandThread> commands_;
  std::unique_ptr<Location> location_;
  SharedLocks locks_;
  favourites::FavouritesModel favourites_;
  AddressBarModel address_;
  search::ProfileTranspositions transpositions_;
  std::vector<ThreadHandle> openers_;
  std::string currentPath_;
  std::optional<std::string> currentValue_;
  bool closing_ = false;
  std::set<const void*> askedAboutHives_;

  QMdiArea* area_ = nullptr;
  std::map<int, QMdiSubWindow*> windows_;
  std::map<int, QAction*> actions_;
  search::ui::SearchWindow* searchWindow_ = nullptr;
  browse::ui::KeyBrowserWindow* keyBrowser_ = nullptr;
  browse::ui::NamingRulesWindow* namingRules_ = nullptr;
  browse::ui::ValueListWindow* valueList_ = nullptr;
  DataViewerWindow* dataViewer_ = nullptr;
  QMenu* favouritesMenu_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  QComboBox* computerBox_ = nullptr;
  QComboBox* hiveBox_ = nullptr;
  QComboBox* pathBox_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPointer<QSplashScreen> splash_;
};

}  // namespace talmoor::frame::ui
