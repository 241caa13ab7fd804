#include "ui/icons.h"

#include <QHash>
#include <QPainter>
#include <QPixmap>

namespace quell {

namespace {

constexpr int kSize = 16;

QPixmap Blank() {
  QPixmap p(kSize, kSize);
  p.fill(Qt::transparent);
  return p;
}

QIcon Disc(const QColor& fill) {
  QPixmap p = Blank();
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(fill.darker(160), 1));
  g.setBrush(fill);
  g.drawEllipse(QRectF(2.5, 2.5, 11, 11));
  return QIcon(p);
}

QIcon Antenna(const QColor& colour) {
  QPixmap p = Blank();
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(QPen(colour, 2));
  g.drawLine(QPointF(8, 5), QPointF(8, 15));
  g.drawLine(QPointF(8, 8), QPointF(3, 2));
  g.drawLine(QPointF(8, 8), QPointF(13, 2));
  return QIcon(p);
}

QIcon Bars(int filled) {
  QPixmap p = Blank();
  QPainter g(&p);
  for (int i = 0; i < 4; ++i) {
    const int h = 4 + 3 * i;
    const QRect bar(1 + 4 * i, kSize - h, 3, h);
    g.fillRect(bar, i < filled ? QColor(0, 160, 0) : QColor(200, 200, 200));
  }
  return QIcon(p);
}

QIcon Sign(bool plus) {
  QPixmap p = Blank();
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  const QColor c = plus ? QColor(0, 150, 0) : QColor(200, 0, 0);
  g.setPen(Qt::NoPen);
  g.setBrush(c);
  g.drawRect(QRectF(3, 6.5, 10, 3));
  if (plus) g.drawRect(QRectF(6.5, 3, 3, 10));
  return QIcon(p);
}

QIcon Cached(QHash<int, QIcon>& cache, int key, QIcon (*make)(int)) {
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.insert(key, make(key));
  return it.value();
}

QIcon MakeState(int index) {
  switch (index) {
    case 4:
      return Disc(QColor(0, 190, 0));
    case 5:
      return Disc(QColor(150, 150, 150));
    case 6:
      return Antenna(QColor(0, 140, 0));
    case 26:
      return Disc(QColor(240, 200, 0));
    default:
      return QIcon();
  }
}

QIcon MakeSignal(int index) {
  return Bars(index < 0 || index > 4 ? 0 : index);
}

}  // namespace

QIcon StateIcon(int index) {
  static QHash<int, QIcon> cache;
  return Cached(cache, index, MakeState);
}

QIcon SignalIcon(int index) {
  static QHash<int, QIcon> cache;
  return Cached(cache, index, MakeSignal);
}

QIcon ObjectPicture(IpModuleRow::Picture picture) {
  static const QIcon online = Sign(true);
  static const QIcon lost = Sign(false);
  switch (picture) {
    case IpModuleRow::Picture::Online:
      return online;
    case IpModuleRow::Picture::Lost:
      return lost;
    case IpModuleRow::Picture::None:
      break;
  }
  return QIcon();
}

QIcon ProgramIcon() {
  static const QIcon icon = [] {
    QPixmap p(32, 32);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    g.setBrush(QColor(0, 0, 128));
    g.setPen(Qt::NoPen);
    g.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    g.setPen(QPen(QColor(166, 202, 240), 3));
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(QRectF(7, 7, 16, 16));
    g.drawLine(QPointF(19, 19), QPointF(26, 26));
    return QIcon(p);
  }();
  return icon;
}

QIcon CommandIcon(Command command) {
  QPixmap p = Blank();
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  switch (command) {
    case Command::Add:
      return Sign(true);
    case Command::Remove:
      g.setPen(QPen(QColor(200, 0, 0), 2.5));
      g.drawLine(QPointF(4, 4), QPointF(12, 12));
      g.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
    case Command::Up:
    case Command::Down: {
      const bool up = command == Command::Up;
      const qreal tip = up ? 2 : 14, base = up ? 9 : 7;
      g.setPen(Qt::NoPen);
      g.setBrush(QColor(0, 0, 128));
      g.drawPolygon(QPolygonF({QPointF(8, tip), QPointF(2, base), QPointF(14, base)}));
      g.drawRect(QRectF(6, up ? base : 2, 4, 5));
      break;
    }
  }
  return QIcon(p);
}

}  // namespace quell
