#pragma once
// Copy, cut and paste of registry entries, and their drag and drop, for one
// of the browsers' views: the selected keys or values go onto the clipboard
// or into a drag under their own formats (with their paths as text, and for
// a file manager as a registry script written when it is asked for), and
// what is pasted or dropped is applied to a target key on a worker. Files
// dropped on the key tree become mounts, imports or values.

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "browse/entry_records.h"
#include "browse/entry_transfer.h"

class QAbstractItemView;
class QMimeData;

namespace talmoor::browse::ui {

class EntryTransferController : public QObject {
  Q_OBJECT

 public:
  struct Hooks {
    EntryTarget kind = EntryTarget::KeyTree;
    // The records of what is selected (none: nothing to copy or drag).
    std::function<std::vector<EntryRecord>()> selection;
    // The key a drop at a point of the viewport (or a paste) goes to.
    std::function<std::optional<std::string>(const QPoint&)> dropTarget;
    std::function<std::optional<std::string>()> pasteTarget;
    // The key tree's files: a hive to mount below a key, a script to import.
    std::function<void(const std::string& hiveFile, const std::string& targetKey)> loadHive;
    std::function<void(const std::string& scriptFile)> importScript;
  };

  EntryTransferController(QAbstractItemView* view, Hooks hooks, QObject* parent);

  void copy();
  void cut();
  void paste();
  // The selection's full paths as text, one a line.
  void copyKeyName();
  bool canPaste() const;
  bool hasSelection() const { return !hooks_.selection().empty(); }
  // The data of a drag of the selection, remembered until it ends.
  std::unique_ptr<QMimeData> dragData();

  // What a drop of `mime` with `action` on the key `target` does; the drop
  // event handling calls it, and tests may too.
  void drop(const QMimeData& mime, Qt::DropAction action, const std::string& target);
  // What the source does when its drag ended with `action`.
  void dragEnded(Qt::DropAction action, bool inside);

  static std::unique_ptr<QMimeData> mimeFor(const std::vector<EntryRecord>& records, bool cut);
  static void fillMime(QMimeData& mime, const std::vector<EntryRecord>& records, bool cut);
  // The records a clipboard or drag offers; nothing when it offers none.
  static std::optional<std::vector<EntryRecord>> recordsIn(const QMimeData& mime, std::string& problem);

 signals:
  // Entries were applied to the key (or a source changed): it is shown again.
  void keyChanged(const QString& keyPath);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void apply(std::vector<EntryRecord> records, const std::string& target, bool move, bool clearClipboard);
  void dropFiles(const QMimeData& mime, const std::string& target);

  QAbstractItemView* view_;
  Hooks hooks_;
  // What the current drag carried, for a move that ends outside.
  std::vector<EntryRecord> dragged_;
};

}  // namespace talmoor::browse::ui
