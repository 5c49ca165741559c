#pragma once
// "Data Viewer": the data of the value the value list selected, in the data
// editor (the hex editor beside a typed view). Edits are written back as a
// registry change ("Data Changed") when the user applies them, or when
// another value is chosen while they are still unsaved.

#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32_types.h"
#include "search/results/result_list.h"

namespace talmoor::hexedit::ui {
class DataEditorWidget;
}

namespace talmoor::frame::ui {

class DataViewerWindow : public QWidget {
  Q_OBJECT

 public:
  explicit DataViewerWindow(QWidget* parent = nullptr);

  // Reads the value on a worker and shows it ("Data Editor - Registry Value").
  void showRegistryValue(const std::string& keyPath, const std::string& valueName);
  // Shows no value (after writing back what was edited).
  void clear();
  // Shows a search result row's copy of its data, read-only ("Data Editor -
  // Search Result"); none shows no data under that caption.
  void showSearchResult(const std::optional<search::DataRecord>& record);
  // Whether a search result (or none of them) is shown rather than a registry value.
  bool showingSearchResult() const { return searchResult_; }
  QString caption() const;
  hexedit::ui::DataEditorWidget* editor() const { return editor_; }
  // The value shown: its key and name.
  std::optional<std::pair<std::string, std::string>> shownValue() const { return shown_; }

 signals:
  // Edited data was written to the registry (or refused).
  void written(const QString& keyPath, const QString& valueName, bool ok);
  // A search result's data was edited and applied: the row takes it (the
  // registry only when the row is applied).
  void searchResultEdited(DWORD type, const std::vector<BYTE>& data);

 private:
  // Writes the edited data of the value shown, when there is any.
  void writeBack();

  hexedit::ui::DataEditorWidget* editor_ = nullptr;
  std::optional<std::pair<std::string, std::string>> shown_;
  std::uint64_t request_ = 0;  // the newest read's number
  bool searchResult_ = false;
};

}  // namespace talmoor::frame::ui
