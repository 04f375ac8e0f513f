#include "app/window_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

namespace {

const QColor kBackground(0, 0, 128);
const QColor kUpArrow(255, 255, 255);
const QColor kDownArrow(255, 255, 0);

// One arrow in a column of the unit square; pointing up or down.
QPolygonF Arrow(double left, bool up) {
  const double width = 0.38;
  const double shaft = width / 3;
  const double middle = left + width / 2;
  const double tip = up ? 0.12 : 0.88;
  const double base = up ? 0.48 : 0.52;
  const double tail = up ? 0.88 : 0.12;
  return QPolygonF({
      {middle, tip},
      {left + width, base},
      {middle + shaft / 2, base},
      {middle + shaft / 2, tail},
      {middle - shaft / 2, tail},
      {middle - shaft / 2, base},
      {left, base},
  });
}

QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(kBackground);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size, size);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kUpArrow);
  painter.drawPolygon(Arrow(0.08, true));
  painter.setBrush(kDownArrow);
  painter.drawPolygon(Arrow(0.54, false));
  return pixmap;
}

}  // namespace

QIcon MakeWindowIcon() {
  QIcon icon;
  icon.addPixmap(DrawIcon(32));
  icon.addPixmap(DrawIcon(16));
  return icon;
}
