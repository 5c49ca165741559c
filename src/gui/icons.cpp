#include "gui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QHash>
#include <QPixmap>

#include "browse/naming_rules.h"
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

namespace {

// The overlays as a small sign in the lower left corner.
struct OverlaySign {
  QColor colour;
  QString sign;
};
OverlaySign overlaySign(int overlay) {
  using browse::Overlay;
  switch (static_cast<Overlay>(overlay)) {
    case Overlay::Error: return {kRed, QStringLiteral("!")};
    case Overlay::NoAccess: return {kRed, QStringLiteral("\u26bf")};
    case Overlay::Crossed: return {kRed, QStringLiteral("\u00d7")};
    case Overlay::Checked: return {kGreen, QStringLiteral("\u2713")};
    case Overlay::Plus: return {kBlue, QStringLiteral("+")};
    case Overlay::Skipped: return {kGrey, QStringLiteral("\u2013")};
    case Overlay::Unknown: return {kGrey, QStringLiteral("?")};
    case Overlay::UnknownError: return {kAmber, QStringLiteral("?")};
    case Overlay::On: return {kGreen, QStringLiteral("\u25cf")};
    case Overlay::Off: return {kGrey, QStringLiteral("\u25cb")};
    case Overlay::DisabledService: return {kRed, QStringLiteral("\u25a0")};
    case Overlay::EnabledService: return {kGreen, QStringLiteral("\u25b6")};
    default: return {};
  }
}

QIcon baseTreeIcon(int image) {
  using browse::TreeImage;
  const auto kind = static_cast<TreeImage>(image);
  switch (kind) {
    case TreeImage::MyComputer: return themed("computer", {kBlue, QStringLiteral("PC")});
    case TreeImage::MachineConnecting: return drawn({kGrey, QStringLiteral("\u2026")});
    case TreeImage::RootKey: return drawn({kAmber.darker(115), QStringLiteral("H"), true});
    case TreeImage::RootChild: return drawn({kAmber, QString(), true});
    case TreeImage::ClassKey:
    case TreeImage::ClassKeySelected: return drawn({kPurple, QStringLiteral("C"), true});
    case TreeImage::ServiceDisabled: return drawn({kGrey, QStringLiteral("S")});
    case TreeImage::ServiceBoot: return drawn({kRed, QStringLiteral("S")});
    case TreeImage::ServiceSystem: return drawn({kAmber, QStringLiteral("S")});
    case TreeImage::ServiceAutomatic: return drawn({kGreen, QStringLiteral("S")});
    case TreeImage::ServiceManual: return drawn({kBlue, QStringLiteral("S")});
    case TreeImage::Unknown: return drawn({kGrey, QStringLiteral("?")});
    default: break;
  }
  // The device classes: one tile each, its sign the class's first letters.
  if (image >= static_cast<int>(TreeImage::ClassComputer) && image < static_cast<int>(TreeImage::LoadedIcon))
    return drawn({kGreen.darker(110), QStringLiteral("D")});
  return keyIcon(KeyKind::Closed);
}

}  // namespace

namespace {

QIcon withOverlay(const QIcon& base, int overlay) {
  const OverlaySign sign = overlaySign(overlay);
  if (sign.sign.isEmpty()) return base;
  QIcon out;
  for (int size : {16, 24, 32}) {
    QPixmap pixmap = base.pixmap(size, size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal half = size / 2.0;
    QRectF corner(0, size - half, half, half);
    painter.setBrush(sign.colour);
    painter.setPen(QPen(Qt::white, 1));
    painter.drawEllipse(corner);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(static_cast<int>(half * 0.8));
    painter.setFont(font);
    painter.drawText(corner, Qt::AlignCenter, sign.sign);
    out.addPixmap(pixmap);
  }
  return out;
}

}  // namespace

QIcon treeItemIcon(int image, int overlay, const std::vector<std::uint8_t>& iconBytes) {
  if (!iconBytes.empty()) {
    QPixmap loaded;
    if (loaded.loadFromData(iconBytes.data(), static_cast<uint>(iconBytes.size()), "ICO"))
      return withOverlay(QIcon(loaded), overlay);
  }
  // Asked for at every paint of every row: the drawn ones are made once.
  static QHash<QPair<int, int>, QIcon> drawnCache;  // GUI thread only
  const QPair<int, int> key(image, overlay);
  if (auto it = drawnCache.find(key); it != drawnCache.end()) return *it;
  return *drawnCache.insert(key, withOverlay(baseTreeIcon(image), overlay));
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
