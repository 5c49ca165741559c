#include "frame/ui/data_viewer_window.h"

#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <memory>

#include "browse/value_list.h"
#include "gui/background.h"
#include "registry/root_keys.h"

namespace talmoor::frame::ui {

namespace {

constexpr int kBytesPerLine = 16;
const char* const kRegistryValueCaption = "Data Editor - Registry Value";

}  // namespace

QString hexDumpText(const std::vector<BYTE>& data) {
  QString out;
  out.reserve(static_cast<qsizetype>(data.size() / kBytesPerLine + 1) * 80);
  for (std::size_t line = 0; line < data.size(); line += kBytesPerLine) {
    out += QStringLiteral("%1  ").arg(line, 8, 16, QLatin1Char('0'));
    QString text;
    for (int i = 0; i < kBytesPerLine; ++i) {
      const std::size_t at = line + static_cast<std::size_t>(i);
      if (at < data.size()) {
        out += QStringLiteral("%1 ").arg(data[at], 2, 16, QLatin1Char('0'));
        text += data[at] >= 0x20 && data[at] < 0x7f ? QChar(data[at]) : QChar('.');
      } else {
        out += QStringLiteral("   ");
      }
      if (i == kBytesPerLine / 2 - 1) out += ' ';
    }
    out += ' ' + text + '\n';
  }
  return out;
}

DataViewerWindow::DataViewerWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("DataViewer"));
  setAccessibleName(tr("Data Editor"));
  heading_ = new QLabel(this);
  heading_->setAccessibleName(tr("Shown Value"));
  dump_ = new QPlainTextEdit(this);
  dump_->setAccessibleName(tr("Value Data"));
  dump_->setReadOnly(true);
  dump_->setLineWrapMode(QPlainTextEdit::NoWrap);
  dump_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(heading_);
  layout->addWidget(dump_, 1);
}

void DataViewerWindow::showRegistryValue(const std::string& keyPath, const std::string& valueName) {
  const std::uint64_t request = ++shown_;
  auto row = std::make_shared<std::optional<browse::ValueRow>>();
  gui::inBackground(
      this,
      [row, keyPath, valueName] {
        *row = browse::readValue(keyPath, valueName);
        return row->has_value();
      },
      [this, row, request, valueName](bool read) {
        if (request != shown_) return;  // a newer value was asked for
        if (!read) {
          clear();
          return;
        }
        const QString name = QString::fromStdString(valueName.empty() ? registry::kDefaultValueLabel : valueName);
        heading_->setText(QStringLiteral("%1  (%2, %3 bytes)")
                              .arg(name, QString::fromStdString(registry::typeName(static_cast<int>((*row)->type))))
                              .arg((*row)->data.size()));
        showData(QString::fromLatin1(kRegistryValueCaption), (*row)->type, (*row)->data);
      });
}

void DataViewerWindow::showData(const QString& caption, DWORD, const std::vector<BYTE>& data) {
  dump_->setPlainText(hexDumpText(data));
  emit captionChanged(caption);
}

void DataViewerWindow::clear() {
  ++shown_;
  heading_->clear();
  dump_->clear();
}

QString DataViewerWindow::text() const { return dump_->toPlainText(); }
QString DataViewerWindow::caption() const { return heading_->text(); }

}  // namespace talmoor::frame::ui
