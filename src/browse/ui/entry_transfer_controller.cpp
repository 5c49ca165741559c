#include "browse/ui/entry_transfer_controller.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QDir>
#include <QUrl>

#include <algorithm>

#include "base/interaction.h"
#include "browse/key_actions.h"
#include "browse/value_list.h"
#include "gui/background.h"

namespace talmoor::browse::ui {

namespace {

constexpr const char* kCutMimeType = "application/x-talmoor-cut";

QByteArray bytesOf(const std::vector<BYTE>& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

std::span<const BYTE> spanOf(const QByteArray& bytes) {
  return {reinterpret_cast<const BYTE*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

// A drag's data that a file manager takes as a registry script: the file is
// written only when a drop target asks for it, so that drags inside the
// program (and drags given up) write nothing.
class EntryMimeData : public QMimeData {
 public:
  explicit EntryMimeData(std::vector<EntryRecord> records) : records_(std::move(records)) {}

  QStringList formats() const override {
    QStringList all = QMimeData::formats();
    if (!all.contains(kUriList)) all << kUriList;
    return all;
  }
  bool hasFormat(const QString& type) const override { return type == kUriList || QMimeData::hasFormat(type); }

 protected:
  QVariant retrieveData(const QString& type, QMetaType wanted) const override {
    if (type != kUriList) return QMimeData::retrieveData(type, wanted);
    if (!file_) file_ = writeScript();
    if (file_->isEmpty()) return {};
    const QUrl url = QUrl::fromLocalFile(*file_);
    if (wanted.id() == QMetaType::QVariantList) return QVariantList{url};
    return url.toEncoded() + QByteArrayLiteral("\r\n");
  }

 private:
  static inline const QString kUriList = QStringLiteral("text/uri-list");

  QString writeScript() const {
    const QString folder = QDir::temp().filePath(QStringLiteral("talmoor-drag-%1").arg(QCoreApplication::applicationPid()));
    if (records_.empty() || !QDir().mkpath(folder)) return {};
    const QString file = QDir(folder).filePath(QString::fromStdString(scriptFileName(records_.front())));
    return writeEntriesScript(records_, file.toStdString()) ? file : QString();
  }

  std::vector<EntryRecord> records_;
  mutable std::optional<QString> file_;
};

bool offersSomething(const QMimeData& mime) {
  return mime.hasFormat(kEntryMimeType) || mime.hasFormat(kEntryListMimeType) || mime.hasUrls() || mime.hasText();
}

}  // namespace

EntryTransferController::EntryTransferController(QAbstractItemView* view, Hooks hooks, QObject* parent)
    : QObject(parent), view_(view), hooks_(std::move(hooks)) {
  view_->setDragEnabled(true);
  view_->setAcceptDrops(true);
  view_->viewport()->setAcceptDrops(true);
  view_->setDragDropMode(QAbstractItemView::DragDrop);
  view_->setDefaultDropAction(Qt::CopyAction);
  view_->viewport()->installEventFilter(this);
}

void EntryTransferController::fillMime(QMimeData& mime, const std::vector<EntryRecord>& records, bool cut) {
  if (records.size() == 1) mime.setData(kEntryMimeType, bytesOf(encodeEntry(records.front())));
  mime.setData(kEntryListMimeType, bytesOf(encodeEntryList(records)));
  QStringList paths;
  for (const EntryRecord& record : records)
    paths << QString::fromStdString(record.valueName ? record.keyPath + "\\" + *record.valueName : record.keyPath);
  mime.setText(paths.join(QLatin1Char('\n')));
  if (cut) mime.setData(kCutMimeType, QByteArrayLiteral("1"));
}

std::unique_ptr<QMimeData> EntryTransferController::mimeFor(const std::vector<EntryRecord>& records, bool cut) {
  auto mime = std::make_unique<QMimeData>();
  fillMime(*mime, records, cut);
  return mime;
}

std::optional<std::vector<EntryRecord>> EntryTransferController::recordsIn(const QMimeData& mime,
                                                                           std::string& problem) {
  if (mime.hasFormat(kEntryListMimeType)) return decodeEntryList(spanOf(mime.data(kEntryListMimeType)), problem);
  if (mime.hasFormat(kEntryMimeType)) {
    auto record = decodeEntry(spanOf(mime.data(kEntryMimeType)), problem);
    if (!record) return std::nullopt;
    return std::vector<EntryRecord>{std::move(*record)};
  }
  return std::nullopt;
}

void EntryTransferController::copy() {
  auto records = hooks_.selection();
  if (records.empty()) return;
  QApplication::clipboard()->setMimeData(mimeFor(records, false).release());
}

void EntryTransferController::cut() {
  auto records = hooks_.selection();
  if (records.empty()) return;
  QApplication::clipboard()->setMimeData(mimeFor(records, true).release());
}

std::unique_ptr<QMimeData> EntryTransferController::dragData() {
  dragged_ = hooks_.selection();
  if (dragged_.empty()) return nullptr;
  auto data = std::make_unique<EntryMimeData>(dragged_);
  fillMime(*data, dragged_, false);
  return data;
}

void EntryTransferController::copyKeyName() {
  QStringList paths;
  for (const EntryRecord& record : hooks_.selection()) paths << QString::fromStdString(record.keyPath);
  paths.removeDuplicates();
  if (!paths.isEmpty()) QApplication::clipboard()->setText(paths.join(QLatin1Char('\n')));
}

bool EntryTransferController::canPaste() const {
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  return mime && (mime->hasFormat(kEntryMimeType) || mime->hasFormat(kEntryListMimeType)) &&
         hooks_.pasteTarget && hooks_.pasteTarget();
}

void EntryTransferController::paste() {
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  auto target = hooks_.pasteTarget ? hooks_.pasteTarget() : std::nullopt;
  if (!mime || !target) return;
  std::string problem;
  auto records = recordsIn(*mime, problem);
  if (!records) {
    if (!problem.empty())
      messageBox("The Memory containing the Registry Entry is in Protected Memory and Cannot be Accessed", "Sorry",
                 BoxButtons::Ok, BoxIcon::Stop);
    return;
  }
  const bool cut = mime->hasFormat(kCutMimeType);
  apply(std::move(*records), *target, cut, cut);
}

void EntryTransferController::apply(std::vector<EntryRecord> records, const std::string& target, bool move,
                                    bool clearClipboard) {
  const EntryTarget kind = hooks_.kind;
  QPointer<EntryTransferController> self(this);
  gui::inBackground(
      this, [records = std::move(records), target, move, kind] { return applyEntries(records, target, move, kind); },
      [self, target, clearClipboard](bool whole) {
        if (!self) return;
        // A cut is pasted once: what it named has moved.
        if (clearClipboard && whole) QApplication::clipboard()->clear();
        emit self->keyChanged(QString::fromStdString(target));
      });
}

void EntryTransferController::drop(const QMimeData& mime, Qt::DropAction action, const std::string& target) {
  std::string problem;
  if (auto records = recordsIn(mime, problem)) {
    // Keys are copied whatever the drop says (the source answers a move);
    // values dropped with a move are moved here, where the copy is sure.
    const bool values = std::none_of(records->begin(), records->end(), [](const auto& r) { return r.isKey(); });
    apply(std::move(*records), target, action == Qt::MoveAction && values, false);
    return;
  }
  if (!problem.empty()) {
    messageBox("The Memory containing the Registry Entry is in Protected Memory and Cannot be Accessed", "Sorry",
               BoxButtons::Ok, BoxIcon::Stop);
    return;
  }
  if (hooks_.kind == EntryTarget::ValueList) {
    messageBox("No Suitable Format was found for the Creation of a Registry Value Entry", "No Suitable Format",
               BoxButtons::Ok, BoxIcon::Exclamation);
    return;
  }
  if (mime.hasUrls()) {
    dropFiles(mime, target);
    return;
  }
  if (mime.hasText() && !mime.text().trimmed().isEmpty()) {
    // Text names a new key below the target.
    QPointer<EntryTransferController> self(this);
    auto name = std::make_shared<std::string>(mime.text().trimmed().toStdString());
    gui::inBackground(
        this, [target, name] { return createKeyAt(target, *name); },
        [self, target](bool) {
          if (self) emit self->keyChanged(QString::fromStdString(target));
        });
    return;
  }
  messageBox("There was no suitable Data Format supplied for the Creation of a Registry Key", "No Suitable Data Format",
             BoxButtons::Ok, BoxIcon::Exclamation);
}

void EntryTransferController::dropFiles(const QMimeData& mime, const std::string& target) {
  std::vector<std::string> files;
  for (const QUrl& url : mime.urls())
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  if (files.empty()) {
    messageBox("Nothing Dropped or Invalid Source Object", "Cannot Drop Here", BoxButtons::Ok, BoxIcon::Exclamation);
    return;
  }
  for (const std::string& file : files) {
    std::string problem;
    auto dropped = platform::readDroppedFile(file, problem);
    if (!dropped) {
      messageBox(file + " cannot be dropped here: " + problem, "Dropped Item", BoxButtons::Ok, BoxIcon::Exclamation);
      continue;
    }
    if (dropped->kind == platform::DroppedFileKind::Hive) {
      if (hooks_.loadHive) hooks_.loadHive(file, target);
      continue;
    }
    if (dropped->kind == platform::DroppedFileKind::RegistryScript) {
      if (hooks_.importScript) hooks_.importScript(file);
      continue;
    }
    QPointer<EntryTransferController> self(this);
    gui::inBackground(
        this, [value = std::move(*dropped), target] { return applyDroppedFile(value, target); },
        [self, target](bool) {
          if (self) emit self->keyChanged(QString::fromStdString(target));
        });
  }
}

void EntryTransferController::dragEnded(Qt::DropAction action, bool inside) {
  std::vector<EntryRecord> dragged = std::move(dragged_);
  dragged_.clear();
  if (action != Qt::MoveAction || dragged.empty()) return;
  if (std::any_of(dragged.begin(), dragged.end(), [](const auto& r) { return r.isKey(); })) {
    messageBox("Moving Key Not Implemented", "Sorry", BoxButtons::Ok, BoxIcon::Information);
    return;
  }
  // Dropped in this program, the values were moved where they went.
  if (inside) return;
  if (auto asker = interaction()) asker->showStatus("Drag Action Move");
  QPointer<EntryTransferController> self(this);
  gui::inBackground(
      this,
      [dragged] {
        bool all = true;
        for (const EntryRecord& record : dragged) {
          const std::string name = *record.valueName;
          all = deleteValuesAt(record.keyPath, std::span(&name, 1)) == 1 && all;
        }
        return all;
      },
      [self, key = dragged.front().keyPath](bool) {
        if (self) emit self->keyChanged(QString::fromStdString(key));
      });
}

bool EntryTransferController::eventFilter(QObject* watched, QEvent* event) {
  if (watched != view_->viewport()) return false;
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData() && offersSomething(*drag->mimeData())) {
        drag->acceptProposedAction();
        return true;
      }
      return false;
    }
    case QEvent::Drop: {
      auto* dropEvent = static_cast<QDropEvent*>(event);
      const QPoint at = dropEvent->position().toPoint();
      auto target = hooks_.dropTarget ? hooks_.dropTarget(at) : std::nullopt;
      if (!target) {
        if (hooks_.kind == EntryTarget::ValueList)
          messageBox("frmValue_DragAction - Cannot Establish Drop Path", "Sorry", BoxButtons::Ok, BoxIcon::Stop);
        else
          messageBox("Drop Target not Set", "Sorry", BoxButtons::Ok, BoxIcon::Stop);
        dropEvent->ignore();
        return true;
      }
      const Qt::DropAction action = dropEvent->proposedAction();
      dropEvent->setDropAction(action == Qt::LinkAction ? Qt::CopyAction : action);
      dropEvent->accept();
      drop(*dropEvent->mimeData(), dropEvent->dropAction(), *target);
      return true;
    }
    default: return false;
  }
}

}  // namespace talmoor::browse::ui
