#include "frame/ui/data_viewer_window.h"

#include <QVBoxLayout>
#include <memory>

#include "browse/value_list.h"
#include "gui/background.h"
#include "hexedit/ui/data_editor_widget.h"
#include "platform/registry/registry_constants.h"

namespace talmoor::frame::ui {

namespace {

const char* const kRegistryValueCaption = "Data Editor - Registry Value";
const char* const kSearchResultCaption = "Data Editor - Search Result";

}  // namespace

DataViewerWindow::DataViewerWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("DataViewer"));
  setAccessibleName(tr("Data Editor"));
  editor_ = new hexedit::ui::DataEditorWidget(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(editor_);
  connect(editor_, &hexedit::ui::DataEditorWidget::commitRequested, this, &DataViewerWindow::writeBack);
}

void DataViewerWindow::writeBack() {
  if (searchResult_ && editor_->isModified()) {
    editor_->markSaved();
    emit searchResultEdited(editor_->type(), editor_->data());
    return;
  }
  if (!shown_ || !editor_->isModified()) return;
  const auto [key, name] = *shown_;
  const DWORD type = editor_->type();
  std::vector<BYTE> data = editor_->data();
  // Saved as far as the editor knows: a refusal reads the value again.
  editor_->markSaved();
  gui::inBackground(
      this, [key, name, type, data] { return browse::writeValueData(key, name, type, data); },
      [this, key, name](bool ok) {
        if (!ok && shown_ && shown_->first == key && shown_->second == name) showRegistryValue(key, name);
        emit written(QString::fromStdString(key), QString::fromStdString(name), ok);
      });
}

void DataViewerWindow::showRegistryValue(const std::string& keyPath, const std::string& valueName) {
  writeBack();
  searchResult_ = false;
  shown_ = {keyPath, valueName};
  const std::uint64_t request = ++request_;
  auto row = std::make_shared<std::optional<browse::ValueRow>>();
  gui::inBackground(
      this,
      [row, keyPath, valueName] {
        *row = browse::readValue(keyPath, valueName);
        return row->has_value();
      },
      [this, row, request](bool read) {
        if (request != request_) return;  // a newer value was asked for
        if (!read) {
          shown_.reset();
          editor_->clearValue();
          return;
        }
        editor_->showValue(QString::fromLatin1(kRegistryValueCaption), (*row)->type, (*row)->data, true);
      });
}

void DataViewerWindow::clear() {
  writeBack();
  ++request_;
  searchResult_ = false;
  shown_.reset();
  editor_->clearValue();
}

void DataViewerWindow::showSearchResult(const std::optional<search::DataRecord>& record) {
  writeBack();
  ++request_;  // a registry value still being read is not shown
  searchResult_ = true;
  shown_.reset();
  const QString caption = QString::fromLatin1(kSearchResultCaption);
  if (!record) {
    editor_->clearValue();
    editor_->setCaption(caption);
    return;
  }
  // A row's data of unknown type is shown as bytes.
  const DWORD type = record->type < 0 ? REG_NONE : static_cast<DWORD>(record->type);
  editor_->showValue(caption, type, record->bytes, true);
}

QString DataViewerWindow::caption() const { return editor_->caption(); }

}  // namespace talmoor::frame::ui
