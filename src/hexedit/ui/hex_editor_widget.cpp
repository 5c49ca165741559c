#include "hexedit/ui/hex_editor_widget.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QToolTip>
#include <QUrl>

#include "base/interaction.h"
#include "platform/files/windows_files.h"
#include "platform/thread_context.h"

namespace talmoor::hexedit::ui {

namespace {

const QString kOctetStream = QStringLiteral("application/octet-stream");

struct MenuItem {
  Command command;
  const char* text;
};

// A file's name as the registry would hold it: its Windows path when a
// drive reaches it, else the path as it is.
std::string windowsNameOf(const QString& localPath) {
  if (auto name = platform::windowsPathOf(localPath.toStdString(), platform::threadDrives())) return *name;
  return localPath.toStdString();
}

std::span<const BYTE> bytesOf(const QByteArray& bytes) {
  return {reinterpret_cast<const BYTE*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

}  // namespace

HexEditorWidget::HexEditorWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("Hex Editor"));
  setWindowTitle(tr("Hex Editor"));
  setAccessibleName(tr("Hex Editor"));
  setFocusPolicy(Qt::StrongFocus);
  setAcceptDrops(true);
  viewport()->setMouseTracking(true);
  viewport()->setCursor(Qt::IBeamCursor);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  verticalScrollBar()->setAccessibleName(tr("Rows"));
  font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  editor_.setHost(this);
  editor_.setViewChanged([this] {
    syncScrollBar();
    viewport()->update();
  });
  editor_.setDataChanged([this] { emit dataEdited(); });
  buildMenu();
  remeasure();
}

HexEditorWidget::~HexEditorWidget() {
  // The editor outlives nothing of ours: stop it calling back while we go.
  editor_.setViewChanged(nullptr);
  editor_.setDataChanged(nullptr);
  editor_.setHost(nullptr);
}

void HexEditorWidget::setEditorFont(const QFont& font) {
  font_ = font;
  remeasure();
}

void HexEditorWidget::remeasure() {
  QFontMetrics metrics(font_);
  int digit = 1;
  for (char c : std::string_view("0123456789ABCDEF")) digit = std::max(digit, metrics.horizontalAdvance(QChar(c)));
  int character = 1;
  for (int c = 0x20; c < 0x7F; ++c) character = std::max(character, metrics.horizontalAdvance(QChar(c)));
  digitWidth_ = digit;
  editor_.setGeometry(FontMetrics{digit, character, metrics.height()}, viewport()->width(), viewport()->height());
}

void HexEditorWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  remeasure();
}

void HexEditorWidget::syncScrollBar() {
  if (syncing_) return;
  syncing_ = true;
  QScrollBar* bar = verticalScrollBar();
  const auto rows = static_cast<int>(std::min<std::size_t>(editor_.rowCount(), INT_MAX));
  const int page = editor_.layout().visibleRows;
  bar->setRange(0, std::max(0, rows - page));
  bar->setPageStep(page);
  bar->setSingleStep(1);
  bar->setValue(static_cast<int>(std::min<std::size_t>(editor_.firstRow(), INT_MAX)));
  syncing_ = false;
}

void HexEditorWidget::scrollContentsBy(int, int) {
  if (syncing_) return;
  syncing_ = true;
  editor_.scrollToRow(static_cast<std::size_t>(verticalScrollBar()->value()));
  syncing_ = false;
  viewport()->update();
}

// --- painting ---

void HexEditorWidget::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  const QPalette& colours = palette();
  const Layout& layout = editor_.layout();
  painter.fillRect(viewport()->rect(), colours.window());
  painter.setFont(font_);
  QFontMetrics metrics(font_);
  const int ascent = metrics.ascent();

  auto frame = [&](const PaneRect& pane, const QBrush& fill) {
    QRect rect(pane.x, pane.y, pane.width, pane.height);
    painter.fillRect(rect, fill);
    // A sunken edge: dark above and left, light below and right.
    painter.setPen(colours.color(QPalette::Dark));
    painter.drawLine(rect.topLeft(), rect.topRight());
    painter.drawLine(rect.topLeft(), rect.bottomLeft());
    painter.setPen(colours.color(QPalette::Light));
    painter.drawLine(rect.bottomLeft(), rect.bottomRight());
    painter.drawLine(rect.topRight(), rect.bottomRight());
  };
  frame(layout.index, colours.alternateBase());
  frame(layout.number, colours.base());
  frame(layout.text, colours.base());
  if (!editor_.hasData()) return;

  const auto bytes = editor_.bytes();
  const std::size_t first = editor_.firstOffset();
  const std::size_t bytesPerRow = static_cast<std::size_t>(layout.bytesPerRow);
  const Radix radix = editor_.radix();
  const bool colour = editor_.colour();
  const bool focused = hasFocus();
  const Position caret = editor_.caret();
  const bool caretShown = editor_.caretPlaced();

  auto colourOf = [&](BYTE value) -> QColor {
    if (!colour) return colours.color(QPalette::Text);
    if (value == 0) return QColor(0x80, 0x80, 0x80);
    if (value >= 0x20 && value < 0x7F) return QColor(0x00, 0x40, 0xC0);
    if (value >= 0x80) return QColor(0xB0, 0x30, 0x00);
    return QColor(0x00, 0x80, 0x40);
  };

  // Only the rows on screen: the cost of a repaint does not grow with the data.
  for (int row = 0; row <= layout.visibleRows; ++row) {
    const std::size_t rowStart = first + static_cast<std::size_t>(row) * bytesPerRow;
    if (rowStart > bytes.size() || (rowStart == bytes.size() && row > 0 && !(caretShown && caret.offset == rowStart)))
      break;
    const int y = layout.index.y + 2 + row * layout.lineHeight;
    if (y >= viewport()->height()) break;
    painter.setPen(colours.color(QPalette::Text));
    painter.drawText(layout.index.x + 3, y + ascent,
                     QStringLiteral("%1").arg(static_cast<qulonglong>(rowStart), layout.indexDigits, 16, QChar('0')).toUpper());
    for (std::size_t column = 0; column < bytesPerRow; ++column) {
      const std::size_t offset = rowStart + column;
      if (offset >= bytes.size()) break;
      const BYTE value = bytes[offset];
      const auto number = editor_.cellRect(Pane::Number, offset);
      const auto text = editor_.cellRect(Pane::Text, offset);
      if (!number || !text) break;
      if (editor_.isSelected(offset)) {
        painter.fillRect(QRect(number->x, number->y, number->width, number->height), colours.highlight());
        painter.fillRect(QRect(text->x, text->y, text->width, text->height), colours.highlight());
        painter.setPen(colours.color(QPalette::HighlightedText));
      } else {
        painter.setPen(colourOf(value));
      }
      painter.drawText(number->x, number->y + ascent, QString::fromStdString(formatByte(value, radix)));
      const QChar shown = value >= 0x20 && value < 0x7F ? QChar(value) : QChar('.');
      painter.drawText(text->x, text->y + ascent, QString(shown));
    }
  }

  if (!caretShown) return;
  // The caret: a bar when inserting, a box round the digit or character when
  // overwriting; the same byte is outlined in the other pane.
  for (Pane pane : {Pane::Number, Pane::Text}) {
    const auto cell = editor_.cellRect(pane, caret.offset);
    if (!cell) continue;
    int x = cell->x;
    int width = pane == Pane::Number ? digitWidth_ : cell->width - 1;
    if (pane == Pane::Number) x += caret.digit * digitWidth_;
    if (pane == caret.pane) {
      painter.setPen(QPen(focused ? colours.color(QPalette::Text) : colours.color(QPalette::Mid), 2));
      if (editor_.insertMode()) painter.drawLine(x, cell->y, x, cell->y + cell->height - 1);
      else painter.drawRect(QRect(x, cell->y, width, cell->height - 1));
    } else {
      painter.setPen(QPen(colours.color(QPalette::Mid), 1, Qt::DotLine));
      painter.drawRect(QRect(cell->x, cell->y, cell->width - 2, cell->height - 1));
    }
  }
}

// --- keys ---

bool HexEditorWidget::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // These keys are the editor's while it has the focus, even where the
    // frame has an accelerator of the same key (F3 shows the Search window).
    auto* key = static_cast<QKeyEvent*>(event);
    const auto modifiers = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int code = key->key();
    const bool ours = code == Qt::Key_F3 || code == Qt::Key_Insert || code == Qt::Key_Delete ||
                      ((modifiers == Qt::ControlModifier) && (code == Qt::Key_F || code == Qt::Key_G)) ||
                      ((modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier) && !key->text().isEmpty() &&
                       key->text().at(0).isPrint());
    if (ours) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void HexEditorWidget::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool control = event->modifiers() & Qt::ControlModifier;
  const bool alt = event->modifiers() & Qt::AltModifier;
  if (control && !alt && event->key() == Qt::Key_F) return showFind();
  if (control && !alt && event->key() == Qt::Key_G) return showGoto();
  if (event->key() == Qt::Key_Menu) {
    QPoint at(0, 0);
    if (auto cell = editor_.cellRect(editor_.caret().pane, editor_.caret().offset)) at = QPoint(cell->x, cell->y);
    popupMenu()->popup(viewport()->mapToGlobal(at));
    return;
  }
  std::optional<Key> key;
  switch (event->key()) {
    case Qt::Key_Left: key = Key::Left; break;
    case Qt::Key_Right: key = Key::Right; break;
    case Qt::Key_Up: key = Key::Up; break;
    case Qt::Key_Down: key = Key::Down; break;
    case Qt::Key_PageUp: key = Key::PageUp; break;
    case Qt::Key_PageDown: key = Key::PageDown; break;
    case Qt::Key_Home: key = Key::Home; break;
    case Qt::Key_End: key = Key::End; break;
    case Qt::Key_Insert: key = Key::Insert; break;
    case Qt::Key_Delete: key = Key::Delete; break;
    case Qt::Key_Backspace: key = Key::Backspace; break;
    case Qt::Key_F3: key = Key::F3; break;
    default: break;
  }
  if (key) {
    if (editor_.pressKey(*key, shift, control) == KeyOutcome::Ignored && *key == Key::F3) showFind();
    return;
  }
  const QString text = event->text();
  if (!control && !alt && !text.isEmpty() && text.at(0).isPrint()) {
    const QByteArray utf8 = text.toUtf8();
    editor_.type(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

bool HexEditorWidget::focusNextPrevChild(bool next) {
  // Tab walks the panes first, then leaves for the next control.
  if (hasFocus()) {
    const KeyOutcome outcome = editor_.pressKey(Key::Tab, !next, false);
    if (outcome == KeyOutcome::Done) return true;
  }
  return QAbstractScrollArea::focusNextPrevChild(next);
}

void HexEditorWidget::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  // Arriving with Shift+Tab is arriving from behind: the last pane, the text.
  editor_.focusIn(event->reason() == Qt::BacktabFocusReason);
}

void HexEditorWidget::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

// --- mouse ---

void HexEditorWidget::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  if (auto position = editor_.positionAt(at.x(), at.y())) {
    editor_.placeCaret(*position, event->modifiers() & Qt::ShiftModifier);
  }
}

QString HexEditorWidget::indexTipAt(QPoint point) const {
  auto position = editor_.positionAt(point.x(), point.y());
  if (!position || position->offset >= editor_.length()) return {};
  return QStringLiteral("0x%1").arg(static_cast<qulonglong>(position->offset), 0, 16);
}

void HexEditorWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->buttons() & Qt::LeftButton) {
    if (auto position = editor_.positionAt(at.x(), at.y())) editor_.placeCaret(*position, true);
  }
  const QString tip = indexTipAt(at);
  if (tip.isEmpty()) QToolTip::hideText();
  else QToolTip::showText(event->globalPosition().toPoint() + QPoint(12, 12), tip, viewport());
}

void HexEditorWidget::contextMenuEvent(QContextMenuEvent* event) { popupMenu()->popup(event->globalPos()); }

// --- drops ---

void HexEditorWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (editor_.editable() && (event->mimeData()->hasUrls() || event->mimeData()->hasText()))
    event->acceptProposedAction();
  else
    event->ignore();
}

void HexEditorWidget::dragMoveEvent(QDragMoveEvent* event) {
  // The caret follows the mouse to show where the drop goes.
  const QPoint at = event->position().toPoint();
  if (auto position = editor_.positionAt(at.x(), at.y())) editor_.placeCaret(*position);
  event->acceptProposedAction();
}

void HexEditorWidget::dropEvent(QDropEvent* event) {
  const QMimeData* mime = event->mimeData();
  const QPoint at = event->position().toPoint();
  std::size_t offset = editor_.caretPlaced() ? editor_.caret().offset : 0;
  if (auto position = editor_.positionAt(at.x(), at.y())) offset = position->offset;
  bool dropped = false;
  if (mime->hasUrls()) {
    for (const QUrl& url : mime->urls()) {
      if (!url.isLocalFile()) continue;
      const std::string name = windowsNameOf(url.toLocalFile());
      if (editor_.insertAt(offset, std::span<const BYTE>(reinterpret_cast<const BYTE*>(name.data()), name.size()))) {
        offset += name.size();
        dropped = true;
      }
    }
  } else if (mime->hasText()) {
    const QByteArray text = mime->text().toUtf8();
    dropped = editor_.insertAt(offset, bytesOf(text));
  }
  if (!dropped && !mime->hasUrls() && !mime->hasText())
    messageBox("Nothing Dropped or Invalid Source Object", "Cannot Drop Here", BoxButtons::Ok, BoxIcon::Exclamation);
  if (dropped) event->acceptProposedAction();
  else event->ignore();
}

// --- clipboard ---

std::optional<ClipboardData> HexEditorWidget::readClipboard() {
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  if (!mime) return std::nullopt;
  ClipboardData data;
  if (mime->hasText()) data.text = mime->text().toUtf8().toStdString();
  if (mime->hasFormat(kOctetStream)) {
    const QByteArray raw = mime->data(kOctetStream);
    data.bytes.emplace(raw.begin(), raw.end());
  }
  if (data.text.empty() && !data.bytes) return std::nullopt;
  return data;
}

void HexEditorWidget::writeClipboard(const ClipboardData& data) {
  auto mime = std::make_unique<QMimeData>();
  mime->setText(QString::fromUtf8(data.text.data(), static_cast<qsizetype>(data.text.size())));
  if (data.bytes) {
    mime->setData(kOctetStream, QByteArray(reinterpret_cast<const char*>(data.bytes->data()),
                                           static_cast<qsizetype>(data.bytes->size())));
  }
  QApplication::clipboard()->setMimeData(mime.release());  // the clipboard takes it
}

void HexEditorWidget::beep() { QApplication::beep(); }

// --- the pop-up menu ---

void HexEditorWidget::buildMenu() {
  menu_ = new QMenu(this);
  menu_->setAccessibleName(tr("Hex Editor Menu"));
  auto add = [this](QMenu* menu, Command command, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setData(static_cast<int>(command));
    connect(action, &QAction::triggered, this, [this, command] { runMenuCommand(command); });
    return action;
  };
  add(menu_, Command::Undo, tr("&Undo"))->setEnabled(false);
  menu_->addSeparator();
  fontMenu_ = menu_->addMenu(tr("&Font"));
  auto* fonts = new QActionGroup(fontMenu_);
  for (auto [command, text] : {MenuItem{Command::FontSans, "MS Sans Serif"}, MenuItem{Command::FontFixed, "FixedSys"},
                               MenuItem{Command::FontArial, "Arial"}}) {
    QAction* action = add(fontMenu_, command, QString::fromLatin1(text));
    action->setCheckable(true);
    action->setChecked(command == Command::FontFixed);
    fonts->addAction(action);
  }
  add(fontMenu_, Command::FontOther, tr("&Other"));
  QMenu* view = menu_->addMenu(tr("&View"));
  add(view, Command::Colour, tr("&Colour"))->setCheckable(true);
  view->addSeparator();
  auto* radixes = new QActionGroup(view);
  for (int r = 0; r < 4; ++r) {
    QAction* action = add(view, static_cast<Command>(r + 1), QString::fromLatin1(radixInfo(static_cast<Radix>(r)).menuText));
    action->setCheckable(true);
    radixes->addAction(action);
  }
  menu_->addSeparator();
  add(menu_, Command::Cut, tr("Cu&t"));
  add(menu_, Command::Copy, tr("C&opy"));
  add(menu_, Command::Paste, tr("&Paste"));
  add(menu_, Command::Compare, tr("&Compare"));
  add(menu_, Command::Delete, tr("&Delete"));
  add(menu_, Command::Browse, tr("&Browse"));
  menu_->addSeparator();
  add(menu_, Command::SelectAll, tr("&Select All"));
  connect(menu_, &QMenu::aboutToShow, this, &HexEditorWidget::updateMenu);
  for (QAction* action : findChildren<QAction*>()) action->setObjectName(action->text().remove('&'));
}

QAction* HexEditorWidget::commandAction(Command command) const {
  // The submenus' items are found too: they are children of their submenus.
  for (QAction* action : menu_->findChildren<QAction*>()) {
    if (!action->menu() && action->data().toInt() == static_cast<int>(command)) return action;
  }
  return nullptr;
}

QMenu* HexEditorWidget::popupMenu() {
  updateMenu();
  return menu_;
}

void HexEditorWidget::updateMenu() {
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  const bool clipboardHasText = mime && (mime->hasText() || mime->hasFormat(kOctetStream));
  const MenuState state = editor_.menuState(clipboardHasText);
  auto enable = [this](Command command, bool enabled) {
    if (QAction* action = commandAction(command)) action->setEnabled(enabled);
  };
  for (Command command : {Command::FontSans, Command::FontFixed, Command::FontArial, Command::FontOther,
                          Command::Colour, Command::Binary, Command::Octal, Command::Decimal, Command::Hexadecimal}) {
    enable(command, state.anyData);
  }
  fontMenu_->setEnabled(state.anyData);
  enable(Command::Undo, false);
  enable(Command::Cut, state.cut);
  enable(Command::Copy, state.copy);
  enable(Command::Paste, state.paste);
  enable(Command::Compare, state.compare);
  enable(Command::Delete, state.deleteSelection);
  enable(Command::Browse, state.browse);
  enable(Command::SelectAll, state.selectAll);
  commandAction(Command::Colour)->setChecked(editor_.colour());
  commandAction(static_cast<Command>(static_cast<int>(editor_.radix()) + 1))->setChecked(true);
}

void HexEditorWidget::runMenuCommand(Command command) {
  switch (command) {
    case Command::FontSans:
    case Command::FontFixed:
    case Command::FontArial:
    case Command::FontOther: chooseFont(command); break;
    case Command::Browse: browse(); break;
    case Command::Undo: break;
    default: editor_.runCommand(command); break;
  }
}

void HexEditorWidget::chooseFont(Command command) {
  switch (command) {
    case Command::FontSans: setEditorFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont)); break;
    // The system's fixed font stands in for FixedSys.
    case Command::FontFixed: setEditorFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)); break;
    case Command::FontArial: setEditorFont(QFont(QStringLiteral("Arial"))); break;
    default: {
      bool chosen = false;
      QFont font = QFontDialog::getFont(&chosen, font_, this);
      if (chosen) setEditorFont(font);
      break;
    }
  }
}

void HexEditorWidget::browse() {
  const QString chosen = QFileDialog::getOpenFileName(this, tr("Select File or Path to Replace Selected Region"));
  if (chosen.isEmpty()) return;
  const std::string name = windowsNameOf(chosen);
  editor_.replaceSelection(std::span<const BYTE>(reinterpret_cast<const BYTE*>(name.data()), name.size()));
}

// --- find and goto ---

void HexEditorWidget::showFind() { openSearchDialog(false); }
void HexEditorWidget::showGoto() { openSearchDialog(true); }

void HexEditorWidget::openSearchDialog(bool gotoMode) {
  if (!dialog_) {
    dialog_ = new QDialog(this);
    auto* grid = new QGridLayout(dialog_);
    dialogLabel_ = new QLabel(dialog_);
    dialogText_ = new QLineEdit(dialog_);
    dialogLabel_->setBuddy(dialogText_);
    unicode_ = new QCheckBox(tr("&Unicode"), dialog_);
    unicode_->setAccessibleName(tr("Unicode"));
    auto* buttons = new QDialogButtonBox(dialog_);
    dialogGo_ = buttons->addButton(tr("&Find"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setAccessibleName(tr("Cancel"));
    dialogGo_->setDefault(true);
    grid->addWidget(dialogLabel_, 0, 0);
    grid->addWidget(dialogText_, 0, 1);
    grid->addWidget(unicode_, 1, 1);
    grid->addWidget(buttons, 2, 0, 1, 2);
    connect(buttons, &QDialogButtonBox::accepted, dialog_, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog_, &QDialog::reject);
    connect(dialog_, &QDialog::accepted, this, &HexEditorWidget::searchDialogAccepted);
  }
  gotoMode_ = gotoMode;
  dialog_->setWindowTitle(gotoMode ? tr("Goto Hex Offset") : tr("Search Value Data"));
  dialog_->setAccessibleName(dialog_->windowTitle());
  dialogLabel_->setText(gotoMode ? tr("Goto") : tr("Find"));
  dialogText_->setAccessibleName(gotoMode ? tr("Goto") : tr("Find"));
  dialogGo_->setText(gotoMode ? tr("&Goto") : tr("&Find"));
  dialogGo_->setAccessibleName(gotoMode ? tr("Goto") : tr("Find"));
  unicode_->setVisible(!gotoMode);
  dialogText_->selectAll();
  dialog_->open();
  dialogText_->setFocus();
}

void HexEditorWidget::searchDialogAccepted() {
  const QByteArray text = dialogText_->text().toUtf8();
  const std::string_view view(text.constData(), static_cast<std::size_t>(text.size()));
  if (gotoMode_) editor_.gotoOffset(view);
  else editor_.find(view, unicode_->isChecked());
  setFocus();
}

}  // namespace talmoor::hexedit::ui
