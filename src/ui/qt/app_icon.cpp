#include "ui/qt/app_icon.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace qarx::qt {

QPixmap DrawAppIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;

  // The card body.
  const QRectF card(s * 0.04, s * 0.16, s * 0.92, s * 0.68);
  QLinearGradient blue(card.topLeft(), card.bottomRight());
  blue.setColorAt(0.0, QColor(0x2a, 0x7d, 0xd8));
  blue.setColorAt(1.0, QColor(0x0f, 0x3d, 0x8a));
  painter.setPen(QPen(QColor(0x0a, 0x2a, 0x60), s / 32.0));
  painter.setBrush(blue);
  painter.drawRoundedRect(card, s * 0.09, s * 0.09);

  // The chip, with its contact lines.
  const QRectF chip(s * 0.14, s * 0.34, s * 0.28, s * 0.22);
  painter.setPen(QPen(QColor(0x8a, 0x64, 0x10), s / 32.0));
  painter.setBrush(QColor(0xf2, 0xc1, 0x4e));
  painter.drawRoundedRect(chip, s * 0.03, s * 0.03);
  painter.drawLine(QPointF(chip.left(), chip.center().y()), QPointF(chip.right(), chip.center().y()));
  painter.drawLine(QPointF(chip.center().x(), chip.top()), QPointF(chip.center().x(), chip.bottom()));

  // Two waves for "internet terminal".
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, qMax(1.0, s / 16.0), Qt::SolidLine, Qt::RoundCap));
  const QPointF origin(s * 0.58, s * 0.62);
  for (const qreal radius : {s * 0.14, s * 0.26}) {
    painter.drawArc(QRectF(origin.x() - radius, origin.y() - radius, 2 * radius, 2 * radius), 0, 90 * 16);
  }
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(origin, s * 0.045, s * 0.045);
  return pixmap;
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {kSmallIconSize, 24, kLargeIconSize, 48, 64}) icon.addPixmap(DrawAppIcon(size));
  return icon;
}

}  // namespace qarx::qt
