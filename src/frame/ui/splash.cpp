#include "frame/ui/splash.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPainter>
#include <QScreen>
#include <QSplashScreen>
#include <QTimer>

#include "base/version.h"
#include "gui/icons.h"

namespace talmoor::frame::ui {

namespace {

constexpr int kShownMilliseconds = 1000;

QPixmap splashPicture() {
  const qreal ratio = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->devicePixelRatio() : 1.0;
  QPixmap picture(QSize(420, 200) * ratio);
  picture.setDevicePixelRatio(ratio);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 200);
  sky.setColorAt(0, QColor(0x1d, 0x3f, 0x66));
  sky.setColorAt(1, QColor(0x2f, 0x6f, 0xb5));
  painter.fillRect(QRect(0, 0, 420, 200), sky);
  // A moor's low hills under the name.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x3a, 0x8f, 0x4a));
  QPainterPath hills;
  hills.moveTo(0, 170);
  hills.cubicTo(120, 140, 220, 185, 420, 150);
  hills.lineTo(420, 200);
  hills.lineTo(0, 200);
  painter.drawPath(hills);
  painter.drawPixmap(28, 40, gui::applicationIcon().pixmap(64, 64));
  QFont title = painter.font();
  title.setPixelSize(40);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(Qt::white);
  painter.drawText(QRect(110, 36, 300, 50), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Talmoor"));
  QFont line = painter.font();
  line.setPixelSize(14);
  line.setBold(false);
  painter.setFont(line);
  painter.drawText(QRect(112, 86, 300, 24), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("registry workbench %1").arg(QString::fromLatin1(versionText())));
  return picture;
}

}  // namespace

QSplashScreen* showSplash() {
  auto* splash = new QSplashScreen(splashPicture());
  splash->setAttribute(Qt::WA_DeleteOnClose);
  splash->setAccessibleName(QStringLiteral("Talmoor is starting"));
  splash->show();
  QTimer::singleShot(kShownMilliseconds, splash, &QSplashScreen::close);
  return splash;
}

}  // namespace talmoor::frame::ui
