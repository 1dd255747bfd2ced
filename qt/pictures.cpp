// SPDX-License-Identifier: MIT
#include "pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

#include "controls.h"
#include "form_table.h"

namespace {
const QColor kOutline(32, 32, 32);
const QColor kPictureYellow(255, 220, 0);
const QColor kPictureRed(200, 0, 0);

QPixmap EmptyPicture(int width, int height) {
  QPixmap picture(width, height);
  picture.fill(Qt::transparent);
  return picture;
}

void Prepare(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
}

// A module: a box with a status light and a row of screw terminals below.
void DrawModule(QPainter& painter, const QRectF& box, const QColor& body) {
  const qreal terminalHeight = box.height() * 0.25;
  const QRectF case_(box.left(), box.top(), box.width(), box.height() - terminalHeight);
  painter.setPen(QPen(kOutline, 1));
  painter.setBrush(body);
  painter.drawRoundedRect(case_, 1.5, 1.5);
  const int terminals = std::max(2, int(box.width() / 4));
  const qreal pitch = box.width() / terminals;
  painter.setBrush(QColor(90, 90, 90));
  for (int i = 0; i < terminals; ++i)
    painter.drawRect(QRectF(box.left() + i * pitch + pitch * 0.2, case_.bottom(), pitch * 0.6, terminalHeight));
  const qreal light = std::max(2.0, box.height() * 0.18);
  painter.setBrush(QColor(0, 200, 0));
  painter.drawEllipse(QRectF(case_.right() - light - 2, case_.top() + 2, light, light));
}

void DrawCentredText(QPainter& painter, const QRectF& box, const QString& text, const QFont& font,
                     const QColor& color) {
  painter.setFont(font);
  painter.setPen(color);
  painter.drawText(box, Qt::AlignCenter, text);
}

QPixmap LanguagePicture(const form::TextPicture& text) {
  QPixmap picture = EmptyPicture(text.width, text.height);
  QPainter painter(&picture);
  Prepare(painter);
  DrawCentredText(painter, QRectF(0, 0, text.width, text.height), QString::fromUtf8(text.utf8),
                  UiFont(text.font.pixelSize, text.font.bold), QColor(text.colour.r, text.colour.g, text.colour.b));
  return picture;
}
}  // namespace

void PaintWindowIcon(QPainter& painter) {
  Prepare(painter);
  DrawModule(painter, QRectF(2.5, 5.5, 27, 22), QColor(70, 110, 180));
  DrawCentredText(painter, QRectF(3, 8, 22, 12), "420", UiFont(9, true), Qt::white);
}

QImage WindowIconImage(int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  const qreal scale = qreal(side) / kWindowIconSide;
  painter.scale(scale, scale);
  PaintWindowIcon(painter);
  painter.end();
  return image;
}

QPixmap WindowIconPicture() {
  QPixmap picture = EmptyPicture(kWindowIconSide, kWindowIconSide);
  QPainter painter(&picture);
  PaintWindowIcon(painter);
  return picture;
}

QPixmap ScanPicture() {
  QPixmap picture = EmptyPicture(16, 16);
  QPainter painter(&picture);
  Prepare(painter);
  painter.setPen(QPen(QColor(120, 70, 20), 3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(10, 10), QPointF(14, 14));
  painter.setPen(QPen(kOutline, 1.5));
  painter.setBrush(QColor(170, 220, 250));
  painter.drawEllipse(QPointF(6.5, 6.5), 5, 5);
  return picture;
}

QPixmap IdPicture() {
  QPixmap picture = EmptyPicture(16, 16);
  QPainter painter(&picture);
  Prepare(painter);
  painter.setPen(QPen(kOutline, 1));
  painter.setBrush(kPictureYellow);
  painter.drawEllipse(QPointF(8, 8), 7, 7);
  for (int tick = 0; tick < 8; ++tick) {
    painter.save();
    painter.translate(8, 8);
    painter.rotate(tick * 45.0);
    painter.drawLine(QPointF(0, -6.5), QPointF(0, -5));
    painter.restore();
  }
  painter.setPen(QPen(kOutline, 1.5, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(8, 8), QPointF(11.5, 4.5));
  painter.setBrush(kOutline);
  painter.drawEllipse(QPointF(8, 8), 1.2, 1.2);
  return picture;
}

QPixmap BaudRatePicture() {
  QPixmap picture = EmptyPicture(16, 16);
  QPainter painter(&picture);
  Prepare(painter);
  painter.setPen(QPen(kOutline, 1));
  painter.setBrush(kPictureYellow);
  // The body under the handset, with its dial.
  painter.drawPolygon(QPolygonF({{2.5, 14.5}, {13.5, 14.5}, {12, 7.5}, {4, 7.5}}));
  painter.setBrush(Qt::white);
  painter.drawEllipse(QPointF(8, 11), 2, 2);
  // The handset: a grip with an ear and a mouth piece.
  painter.setBrush(kPictureYellow);
  QPainterPath handset;
  handset.moveTo(0.5, 7);
  handset.lineTo(0.5, 3.5);
  handset.quadTo(8, 0, 15.5, 3.5);
  handset.lineTo(15.5, 7);
  handset.lineTo(11.5, 7);
  handset.lineTo(11.5, 5);
  handset.quadTo(8, 4, 4.5, 5);
  handset.lineTo(4.5, 7);
  handset.closeSubpath();
  painter.drawPath(handset);
  return picture;
}

QPixmap ModePicture() {
  QPixmap picture = EmptyPicture(16, 16);
  QPainter painter(&picture);
  Prepare(painter);
  DrawModule(painter, QRectF(0.5, 2.5, 15, 12), QColor(170, 170, 170));
  return picture;
}

QPixmap ProcessPicture() {
  QPixmap picture = EmptyPicture(32, 20);
  QPainter painter(&picture);
  Prepare(painter);
  painter.setPen(QPen(QColor(96, 96, 96), 1));
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(0.5, 4.5, 31, 11));
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  for (int block = 0; block < 3; ++block) painter.drawRect(QRectF(3 + block * 6, 7, 5, 6));
  return picture;
}

QPixmap FactoryPicture() {
  QPixmap picture = EmptyPicture(100, 50);
  QPainter painter(&picture);
  Prepare(painter);
  DrawModule(painter, QRectF(4.5, 1.5, 24, 16), QColor(170, 170, 170));
  DrawCentredText(painter, QRectF(30, 0, 70, 18), "TAVIX", UiFont(15, true), QColor(0, 0, 128));
  DrawCentredText(painter, QRectF(0, 19, 100, 15), "19200,e,8,1", UiFont(12, true), kPictureRed);
  DrawCentredText(painter, QRectF(0, 34, 100, 15), "TWO ID:1,5", UiFont(12, true), kPictureRed);
  return picture;
}

QPixmap GbPicture() { return LanguagePicture(form::kGbPicture); }

QPixmap DimmedPicture(const QPixmap& picture) {
  constexpr qreal kDimmedOpacity = 0.45;
  QPixmap dimmed(picture.size());
  dimmed.fill(Qt::transparent);
  QPainter painter(&dimmed);
  painter.setOpacity(kDimmedOpacity);
  painter.drawPixmap(0, 0, picture);
  return dimmed;
}

QPixmap Big5Picture() { return LanguagePicture(form::kBig5Picture); }
