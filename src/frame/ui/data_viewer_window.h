#pragma once
// "Data Viewer": the bytes of the value the value list selected, as offset,
// hexadecimal and text columns, read-only.

#include <QWidget>
#include <string>
#include <vector>

#include "platform/win32_types.h"

class QLabel;
class QPlainTextEdit;

namespace talmoor::frame::ui {

class DataViewerWindow : public QWidget {
  Q_OBJECT

 public:
  explicit DataViewerWindow(QWidget* parent = nullptr);

  // Reads the value on a worker and shows it ("Data Editor - Registry Value").
  void showRegistryValue(const std::string& keyPath, const std::string& valueName);
  void showData(const QString& caption, DWORD type, const std::vector<BYTE>& data);
  void clear();
  QString text() const;
  QString caption() const;

 signals:
  void captionChanged(const QString& caption);

 private:
  QLabel* heading_ = nullptr;
  QPlainTextEdit* dump_ = nullptr;
  std::uint64_t shown_ = 0;  // the newest request's number
};

// The offset, hexadecimal and text columns of `data`, sixteen bytes a line.
QString hexDumpText(const std::vector<BYTE>& data);

}  // namespace talmoor::frame::ui
