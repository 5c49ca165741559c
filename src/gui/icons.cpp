#include "gui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "frame/window_table.h"
#include "platform/registry/registry_constants.h"
#include "search/results/result_list.h"

namespace talmoor::gui {

namespace {

// One drawn icon: a rounded tile in `fill`, a sign in white.
struct Tile {
  QColor fill;
  QString sign;
  bool folder = false;  // drawn as a folder rather than a tile
};

QPixmap draw(const Tile& tile, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal m = size / 16.0;
  QPainterPath shape;
  if (tile.folder) {
    shape.moveTo(1 * m, 4 * m);
    shape.lineTo(6 * m, 4 * m);
    shape.lineTo(7.5 * m, 2.5 * m);
    shape.lineTo(15 * m, 2.5 * m);
    shape.lineTo(15 * m, 14 * m);
    shape.lineTo(1 * m, 14 * m);
    shape.closeSubpath();
  } else {
    shape.addRoundedRect(QRectF(1 * m, 1 * m, 14 * m, 14 * m), 3 * m, 3 * m);
  }
  painter.fillPath(shape, tile.fill);
  painter.setPen(QPen(tile.fill.darker(140), std::max(1.0, m * 0.75)));
  painter.drawPath(shape);
  if (!tile.sign.isEmpty()) {
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(static_cast<int>((tile.sign.size() > 1 ? 7.5 : 10) * m));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, tile.folder ? 2 * m : 0, size, size), Qt::AlignCenter, tile.sign);
  }
  return pixmap;
}

QIcon drawn(const Tile& tile) {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(draw(tile, size));
  return icon;
}

// The theme's icon when it has one, ours otherwise.
QIcon themed(const char* name, const Tile& tile) { return QIcon::fromTheme(QString::fromLatin1(name), drawn(tile)); }

const QColor kBlue(0x2f, 0x6f, 0xb5);
const QColor kGreen(0x3a, 0x8f, 0x4a);
const QColor kAmber(0xc8, 0x8a, 0x12);
const QColor kRed(0xb8, 0x3b, 0x3b);
const QColor kGrey(0x70, 0x76, 0x7d);
const QColor kPurple(0x7a, 0x4f, 0xa8);

}  // namespace

QIcon applicationIcon() { return drawn({kBlue, QStringLiteral("T")}); }

QIcon windowIcon(int command) {
  switch (command) {
    case static_cast<int>(frame::WindowCommand::KeyBrowser): return drawn({kAmber, QString(), true});
    case static_cast<int>(frame::WindowCommand::ValueList): return drawn({kBlue, QStringLiteral("ab")});
    case static_cast<int>(frame::WindowCommand::DataViewer): return drawn({kBlue, QStringLiteral("01")});
    case static_cast<int>(frame::WindowCommand::Security):
      return themed("security-high", {kGreen, QStringLiteral("S")});
    case static_cast<int>(frame::WindowCommand::NamingRules): return drawn({kPurple, QStringLiteral("N")});
    case static_cast<int>(frame::WindowCommand::Debug): return drawn({kGrey, QStringLiteral("D")});
    case static_cast<int>(frame::WindowCommand::ErrorLog):
      return themed("dialog-error", {kRed, QStringLiteral("!")});
    case static_cast<int>(frame::WindowCommand::Search): return themed("edit-find", {kBlue, QStringLiteral("?")});
    case static_cast<int>(frame::WindowCommand::About): return themed("help-about", {kGrey, QStringLiteral("i")});
    default: return drawn({kGrey, QString()});
  }
}

QIcon valueTypeIcon(DWORD type) {
  switch (type) {
    case REG_SZ: return drawn({kRed, QStringLiteral("ab")});
    case REG_EXPAND_SZ: return drawn({kRed, QStringLiteral("a%")});
    case REG_MULTI_SZ: return drawn({kRed, QStringLiteral("a+")});
    case REG_BINARY: return drawn({kBlue, QStringLiteral("01")});
    case REG_DWORD: return drawn({kBlue, QStringLiteral("32")});
    case REG_DWORD_BIG_ENDIAN: return drawn({kBlue, QStringLiteral("23")});
    case REG_QWORD: return drawn({kBlue, QStringLiteral("64")});
    case REG_LINK: return drawn({kPurple, QStringLiteral("\u2192")});
    case REG_RESOURCE_LIST:
    case REG_FULL_RESOURCE_DESCRIPTOR:
    case REG_RESOURCE_REQUIREMENTS_LIST: return drawn({kGreen, QStringLiteral("R")});
    case REG_NONE: return drawn({kGrey, QStringLiteral("\u00b7")});
    default: return drawn({kGrey, QStringLiteral("?")});
  }
}

QIcon keyIcon(KeyKind kind) {
  switch (kind) {
    case KeyKind::Closed: return themed("folder", {kAmber, QString(), true});
    case KeyKind::Open: return themed("folder-open", {kAmber.lighter(115), QString(), true});
    case KeyKind::Link: return drawn({kAmber, QStringLiteral("\u2192"), true});
    case KeyKind::HiveRoot: return drawn({kGreen, QStringLiteral("H"), true});
    case KeyKind::Remote: return themed("network-server", {kBlue, QStringLiteral("\\\\")});
    case KeyKind::Unreadable: return drawn({kGrey, QStringLiteral("\u00d7"), true});
  }
  return {};
}

QIcon markIcon(int mark) {
  switch (mark) {
    case search::kMarkNotDone: return drawn({kRed, QStringLiteral("\u00d7")});
    case search::kMarkDone: return drawn({kGreen, QStringLiteral("\u2713")});
    case search::kMarkBinaryInString: return drawn({kAmber, QStringLiteral("01")});
    default: return {};
  }
}

QIcon errorImageIcon(int image) {
  switch (image) {
    case 0: return drawn({kGrey, QStringLiteral("\u231b")});  // device not ready
    case 2: return drawn({kAmber, QStringLiteral("\u26bf")}); // access denied
    case 3: return drawn({kRed, QStringLiteral("?")});        // file not found
    default: return drawn({kRed, QStringLiteral("!")});
  }
}

}  // namespace talmoor::gui
