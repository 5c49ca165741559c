#pragma once
// The Search window (dialog 'Search'): the parameters of a search, Go and
// Pause, the result rows with their 'Search Popup' menu, and a status bar of
// two parts. The search itself, its buttons' states and the status texts
// belong to the SearchDriver; the rows to the ResultList. Everything a worker
// tells the window (rows, status texts, button states) comes to the GUI
// thread in batches.
//
// The frame gives the window what it cannot know itself through hooks: where
// a search starts (the location bar), how to go to a row (the path opener),
// the browsers' current item (Add), and the Verification Rules dialog.

#include <QPersistentModelIndex>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "frame/frame_session.h"
#include "gui/batched_inbox.h"
#include "search/results/row_operations.h"
#include "search/search_controls.h"
#include "search/search_driver.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QItemSelection;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QDropEvent;
class QTableView;

namespace talmoor::search::ui {

class ResultItemModel;

// The entries of the 'Search Popup' menu, by their identifiers.
enum class PopupCommand : int {
  Refresh = 231,
  Load = 256,
  Verify = 269,
  Reduce = 275,
  Import = 253,
  Save = 257,
  Clear = 228,
  Add = 268,
  Remove = 258,
  Apply = 278,
  Update = 277,
  Goto = 267,
};

inline constexpr const char* kSearchResultCaption = "Data Editor - Search Result";

class SearchWindow : public QWidget, public frame::ClosingVoter {
  Q_OBJECT

 public:
  explicit SearchWindow(QWidget* parent = nullptr);
  // Waits for the window's jobs to end.
  ~SearchWindow() override;

  SearchDriver& driver() { return *driver_; }
  const std::shared_ptr<ResultList>& results() const { return results_; }
  ResultItemModel* model() const { return model_; }

  // No while a search runs (it is asked to stop); yes otherwise, and the
  // Find and Replace histories are saved.
  bool queryClose() override;

  // Status bar part 1 (the current key path or the count) and part 0 (the state).
  QString statusText() const;
  QString stateText() const;

  // What the controls say, as the driver reads it.
  SearchParameters parameters() const;

  // The frame's hooks.
  using StartPathSource = std::function<std::optional<std::string>()>;
  void setStartPathSource(StartPathSource source) { startPath_ = std::move(source); }
  // Goto: called on the GUI thread with each row's location.
  using PathOpener = std::function<void(const RowLocation& location)>;
  void setPathOpener(PathOpener opener) { pathOpener_ = std::move(opener); }
  // Add: the item selected in the key browser or the value list, if any.
  using CurrentItemSource = std::function<std::optional<RowLocation>()>;
  void setCurrentItemSource(CurrentItemSource source) { currentItem_ = std::move(source); }
  void setVerificationRulesOpener(std::function<void()> opener);
  // The data viewer's edit of the row it shows becomes that row's data.
  void changeShownRow(DWORD type, const std::vector<BYTE>& data);

  // The buttons, as a click on them.
  void pressGo();
  void pressPause();
  // A 'Search Popup' command, as the menu runs it.
  void runCommand(PopupCommand command);
  // The 'Search Popup' menu with its entries enabled as things are now; the
  // caller shows it (it deletes itself when closed).
  QMenu* makePopupMenu();
  // Adds a registry item as a row unless one has its location (a value is
  // read again). Blocks; any thread. Returns the row or -1.
  int addRegistryItem(const RowLocation& location);

  // Applies what workers have told so far (rows, status, buttons) now.
  void flushNow();

  // The controls, for the frame, tests and screen readers.
  QComboBox* findBox() const { return findBox_; }
  QComboBox* replaceBox() const { return replaceBox_; }
  QLineEdit* minimumEdit() const { return minimumEdit_; }
  QLineEdit* maximumEdit() const { return maximumEdit_; }
  QComboBox* modeList() const { return modeList_; }
  QComboBox* rangeList() const { return rangeList_; }
  QLineEdit* countEdit() const { return countEdit_; }
  QCheckBox* unicodeBox() const { return unicodeBox_; }
  QPushButton* goButton() const { return goButton_; }
  QPushButton* pauseButton() const { return pauseButton_; }
  QPushButton* rulesButton() const { return rulesButton_; }
  QTableView* view() const { return view_; }
  QStatusBar* statusBar() const { return statusBar_; }
  QLabel* findLabel() const { return findLabel_; }
  QLabel* replaceLabel() const { return replaceLabel_; }

 signals:
  // The data viewer's content: a row focused and selected (its data record,
  // none for a row without one or for no row), titled `title`.
  void rowShown(const std::optional<search::DataRecord>& record, const QString& title);
  // The window was hidden or closed: the data viewer goes back to the
  // browsers' current value.
  void viewerReleased();
  // Each status text, in order, as it reaches the window (part 0 the state,
  // part 1 the path or the count).
  void statusShown(int part, const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct StatusText {
    int part;
    std::string text;
  };
  using Notice = std::variant<StatusText, SearchControls>;

  void buildControls();
  void buildView();
  void receive(std::vector<Notice>& notices);
  void applyControls(const SearchControls& controls);
  void layoutControls();
  void showHistories();
  void showStatus(int part, const QString& text);
  void showCount();
  void runFileCommand(PopupCommand command);
  QString chooseFile(bool save);
  void startAdd();
  // Registry entries dropped on the rows are added as Add adds them; dropped
  // files are loaded as Load loads them, one after another.
  bool dropOnRows(QDropEvent* event);
  void addDropped(std::vector<RowLocation> locations);
  void showPopupMenu(const QPoint& viewportPosition);
  // The view's selection and the list's selected flags.
  void selectionToList(const QItemSelection& selected, const QItemSelection& deselected);
  void listToSelection(int first, int last);
  void selectionFromList();
  // The row shown in the data viewer follows the focused, selected row.
  void updateShownRow();
  void showRowAgain();

  std::shared_ptr<ResultList> results_;
  std::unique_ptr<SearchDriver> driver_;
  ResultItemModel* model_ = nullptr;
  std::shared_ptr<gui::BatchedInbox<Notice>> inbox_;

  StartPathSource startPath_;
  PathOpener pathOpener_;
  CurrentItemSource currentItem_;
  std::function<void()> rulesOpener_;

  // The user-profile pairs taken as one (Reduce, Add); jobs and Add use it
  // one at a time.
  std::mutex transpositionsMutex_;
  ProfileTranspositions transpositions_;
  std::vector<ThreadHandle> adders_;

  SearchControls controls_;
  bool syncing_ = false;  // the selection is being set from the list
  QPersistentModelIndex shown_;
  bool rowIsShown_ = false;

  QGroupBox* parameters_ = nullptr;
  QLabel* findLabel_ = nullptr;
  QComboBox* findBox_ = nullptr;
  QLabel* replaceLabel_ = nullptr;
  QComboBox* replaceBox_ = nullptr;
  QLabel* sizeLabel_ = nullptr;
  QLabel* minimumLabel_ = nullptr;
  QLineEdit* minimumEdit_ = nullptr;
  QLabel* maximumLabel_ = nullptr;
  QLineEdit* maximumEdit_ = nullptr;
  QLabel* modeLabel_ = nullptr;
  QComboBox* modeList_ = nullptr;
  QLabel* rangeLabel_ = nullptr;
  QComboBox* rangeList_ = nullptr;
  QLineEdit* countEdit_ = nullptr;
  QCheckBox* unicodeBox_ = nullptr;
  QPushButton* goButton_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  QPushButton* rulesButton_ = nullptr;
  QTableView* view_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QLabel* stateLabel_ = nullptr;
  QLabel* countLabel_ = nullptr;
};

}  // namespace talmoor::search::ui
