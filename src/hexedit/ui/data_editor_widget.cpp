#include "hexedit/ui/data_editor_widget.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "hexedit/typed_value.h"
#include "hexedit/ui/hex_editor_widget.h"
#include "platform/files/windows_environment.h"
#include "platform/registry/registry_constants.h"
#include "platform/thread_context.h"

namespace talmoor::hexedit::ui {

namespace {

QString fromAnsi(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toAnsi(const QString& text) { return text.toUtf8().toStdString(); }

bool isSaveKey(const QKeyEvent* key) {
  return key->key() == Qt::Key_S &&
         (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier)) == Qt::ControlModifier;
}

}  // namespace

DataEditorWidget::DataEditorWidget(QWidget* parent) : QWidget(parent) {
  setAccessibleName(tr("Data Editor"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  caption_ = new QLabel(this);
  caption_->setAccessibleName(tr("Value"));
  caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(caption_);

  splitter_ = new QSplitter(Qt::Vertical, this);
  auto* splitter = splitter_;
  pages_ = new QStackedWidget(splitter);
  pages_->setAccessibleName(tr("Typed View"));

  nonePage_ = new QWidget(pages_);
  pages_->addWidget(nonePage_);

  textPage_ = new QWidget(pages_);
  auto* textForm = new QFormLayout(textPage_);
  text_ = new QLineEdit(textPage_);
  text_->setAccessibleName(tr("Text"));
  textForm->addRow(tr("&Text:"), text_);
  expanded_ = new QLineEdit(textPage_);
  expanded_->setReadOnly(true);
  expanded_->setAccessibleName(tr("Expanded"));
  expandedLabel_ = new QLabel(tr("Expanded:"), textPage_);
  textForm->addRow(expandedLabel_, expanded_);
  pages_->addWidget(textPage_);

  listPage_ = new QWidget(pages_);
  auto* listLayout = new QVBoxLayout(listPage_);
  listLayout->setContentsMargins(0, 0, 0, 0);
  auto* listLabel = new QLabel(tr("&Strings (one a line):"), listPage_);
  list_ = new QPlainTextEdit(listPage_);
  list_->setAccessibleName(tr("Strings"));
  list_->setLineWrapMode(QPlainTextEdit::NoWrap);
  list_->setTabChangesFocus(true);
  listLabel->setBuddy(list_);
  listLayout->addWidget(listLabel);
  listLayout->addWidget(list_);
  pages_->addWidget(listPage_);

  numberPage_ = new QWidget(pages_);
  auto* numberForm = new QFormLayout(numberPage_);
  hexadecimal_ = new QLineEdit(numberPage_);
  hexadecimal_->setAccessibleName(tr("Hexadecimal"));
  decimal_ = new QLineEdit(numberPage_);
  decimal_->setAccessibleName(tr("Decimal"));
  numberForm->addRow(tr("He&xadecimal:"), hexadecimal_);
  numberForm->addRow(tr("D&ecimal:"), decimal_);
  pages_->addWidget(numberPage_);

  auto* lower = new QWidget(splitter);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  note_ = new QLabel(lower);
  note_->setAccessibleName(tr("Note"));
  note_->setWordWrap(true);
  note_->hide();
  hex_ = new HexEditorWidget(lower);
  lowerLayout->addWidget(note_);
  lowerLayout->addWidget(hex_, 1);
  splitter->addWidget(pages_);
  splitter->addWidget(lower);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  layout->addWidget(splitter, 1);

  auto* buttons = new QHBoxLayout();
  state_ = new QLabel(this);
  state_->setAccessibleName(tr("State"));
  apply_ = new QPushButton(tr("&Apply"), this);
  apply_->setAccessibleName(tr("Apply"));
  apply_->setToolTip(tr("Write the edited data (Ctrl+S)"));
  buttons->addWidget(state_, 1);
  buttons->addWidget(apply_);
  layout->addLayout(buttons);

  connect(apply_, &QPushButton::clicked, this, &DataEditorWidget::requestCommit);
  connect(hex_, &HexEditorWidget::dataEdited, this, &DataEditorWidget::hexEdited);
  connect(text_, &QLineEdit::textEdited, this, [this](const QString& text) {
    replaceFromTypedView(withString(*bytes_, toAnsi(text)));
    if (type_ == REG_EXPAND_SZ) expanded_->setText(fromAnsi(platform::threadEnvironment().expand(toAnsi(text))));
  });
  connect(list_, &QPlainTextEdit::textChanged, this, [this] {
    if (updating_ || !bytes_) return;
    std::vector<std::string> strings;
    for (const QString& line : list_->toPlainText().split(QLatin1Char('\n'))) strings.push_back(toAnsi(line));
    replaceFromTypedView(withStrings(*bytes_, strings));
  });
  connect(hexadecimal_, &QLineEdit::textEdited, this, [this] { numberEdited(true); });
  connect(decimal_, &QLineEdit::textEdited, this, [this] { numberEdited(false); });

  // Ctrl+S is the frame's Search window everywhere else; inside the editor it
  // writes the data, so the editor's controls claim it first.
  for (QWidget* control : std::initializer_list<QWidget*>{hex_, text_, list_, hexadecimal_, decimal_, apply_})
    control->installEventFilter(this);
  clearValue();
}

bool DataEditorWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && isSaveKey(static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  if (event->type() == QEvent::KeyPress && isSaveKey(static_cast<QKeyEvent*>(event))) {
    requestCommit();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void DataEditorWidget::showValue(const QString& caption, DWORD type, std::vector<BYTE> data, bool editable) {
  bytes_ = std::make_shared<std::vector<BYTE>>(std::move(data));
  type_ = type;
  editable_ = editable;
  modified_ = false;
  caption_->setText(caption);
  loading_ = true;
  hex_->editor().editShared(bytes_);
  hex_->editor().setMemoryKind(editable ? MemoryKind::OwnAllocator : MemoryKind::ReadOnly);
  loading_ = false;
  switch (typedViewFor(type)) {
    case TypedView::Text: pages_->setCurrentWidget(textPage_); break;
    case TypedView::List: pages_->setCurrentWidget(listPage_); break;
    case TypedView::Number: pages_->setCurrentWidget(numberPage_); break;
    case TypedView::HexOnly: pages_->setCurrentWidget(nonePage_); break;
  }
  pages_->setVisible(typedViewFor(type) != TypedView::HexOnly);
  // The typed view takes what its controls need (a list more), the hex pane the rest.
  const int typedHeight = pages_->currentWidget() == listPage_ ? height() / 3
                                                               : pages_->currentWidget()->minimumSizeHint().height();
  splitter_->setSizes({typedHeight, std::max(1, height() - typedHeight)});
  expanded_->setVisible(type == REG_EXPAND_SZ);
  expandedLabel_->setVisible(type == REG_EXPAND_SZ);
  refreshTypedView();
  refreshState();
}

void DataEditorWidget::clearValue() {
  bytes_.reset();
  type_ = 0;
  editable_ = false;
  modified_ = false;
  caption_->clear();
  loading_ = true;
  hex_->editor().clear();
  loading_ = false;
  pages_->setCurrentWidget(nonePage_);
  pages_->hide();
  note_->hide();
  refreshState();
}

QString DataEditorWidget::caption() const { return caption_->text(); }

void DataEditorWidget::setCaption(const QString& caption) { caption_->setText(caption); }

std::vector<BYTE> DataEditorWidget::data() const { return bytes_ ? *bytes_ : std::vector<BYTE>{}; }

void DataEditorWidget::markSaved() {
  modified_ = false;
  refreshState();
}

void DataEditorWidget::requestCommit() {
  if (!bytes_ || !editable_ || !modified_) return;
  emit commitRequested();
}

void DataEditorWidget::hexEdited() {
  if (loading_) return;  // new data shown, not edited
  modified_ = true;
  if (!updating_) refreshTypedView();
  refreshState();
  emit dataEdited();
}

void DataEditorWidget::replaceFromTypedView(std::vector<BYTE> bytes) {
  if (!bytes_ || !editable_ || updating_) return;
  *bytes_ = std::move(bytes);
  modified_ = true;
  hex_->editor().redraw();
  refreshState();
  emit dataEdited();
}

void DataEditorWidget::numberEdited(bool hexadecimal) {
  if (!bytes_) return;
  QLineEdit* edited = hexadecimal ? hexadecimal_ : decimal_;
  QLineEdit* other = hexadecimal ? decimal_ : hexadecimal_;
  auto value = parseNumber(toAnsi(edited->text()), hexadecimal, type_);
  // Until the text is a number of the type's width the bytes stay as they were.
  edited->setStyleSheet(value ? QString() : QStringLiteral("color: #b00000"));
  if (!value) return;
  replaceFromTypedView(withNumber(type_, *bytes_, *value));
  other->setText(fromAnsi(formatNumber(*value, !hexadecimal, type_)));
  other->setStyleSheet(QString());
}

void DataEditorWidget::refreshTypedView() {
  if (!bytes_) return;
  updating_ = true;
  QString note;
  bool typedEditable = editable_;
  switch (typedViewFor(type_)) {
    case TypedView::Text: {
      const std::string text = stringOf(*bytes_);
      if (!textRoundTrips(text)) {
        typedEditable = false;
        note = tr("The text holds bytes that are not characters; edit them in the hex pane.");
      }
      text_->setText(fromAnsi(text));
      if (type_ == REG_EXPAND_SZ) expanded_->setText(fromAnsi(platform::threadEnvironment().expand(text)));
      text_->setReadOnly(!typedEditable);
      break;
    }
    case TypedView::List: {
      QStringList lines;
      for (const std::string& string : stringsOf(*bytes_)) {
        if (!textRoundTrips(string) || string.find('\n') != std::string::npos) {
          typedEditable = false;
          note = tr("A string holds bytes that are not characters or a line break; edit it in the hex pane.");
        }
        lines << fromAnsi(string);
      }
      list_->setPlainText(lines.join(QLatin1Char('\n')));
      list_->setReadOnly(!typedEditable);
      break;
    }
    case TypedView::Number: {
      auto value = numberOf(type_, *bytes_);
      hexadecimal_->setText(value ? fromAnsi(formatNumber(*value, true, type_)) : QString());
      decimal_->setText(value ? fromAnsi(formatNumber(*value, false, type_)) : QString());
      hexadecimal_->setStyleSheet(QString());
      decimal_->setStyleSheet(QString());
      if (!value) note = tr("The data is shorter than the number; a number typed here makes it full width.");
      hexadecimal_->setReadOnly(!editable_);
      decimal_->setReadOnly(!editable_);
      break;
    }
    case TypedView::HexOnly: break;
  }
  note_->setText(note);
  note_->setVisible(!note.isEmpty());
  updating_ = false;
}

void DataEditorWidget::refreshState() {
  apply_->setEnabled(bytes_ && editable_ && modified_);
  if (!bytes_) state_->setText(tr("No data"));
  else if (!editable_) state_->setText(tr("Read-only"));
  else state_->setText(modified_ ? tr("Modified") : tr("Unchanged"));
}

}  // namespace talmoor::hexedit::ui
