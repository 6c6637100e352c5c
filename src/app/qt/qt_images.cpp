#include "app/qt/qt_images.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <array>
#include <cstring>
#include <functional>
#include <utility>

namespace ok {

QImage BitmapToImage(const TBitmap& bitmap) {
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
  const size_t rowBytes = size_t(bitmap.Width()) * 3;
  for (int row = 0; row < bitmap.Height(); ++row)
    std::memcpy(image.scanLine(row), bitmap.ScanLine(row), rowBytes);
  return image;
}

namespace {

struct TBadge {
  const char* Text;
  QRgb Colour;
};

// The file types of the file-type box, in its order.
constexpr std::array<TBadge, 9> FileTypeBadges{{{"3GP", 0xff2e7d32},
                                                {"MP4", 0xff1565c0},
                                                {"AVI", 0xff6a1b9a},
                                                {"MPG", 0xffc62828},
                                                {"WMV", 0xff00838f},
                                                {"RM", 0xffef6c00},
                                                {"MOV", 0xff455a64},
                                                {"MKV", 0xff558b2f},
                                                {"FLV", 0xffad1457}}};
// The quality-based types after them (images 10 on: 9 is the profile image).
constexpr std::array<TBadge, 5> ModernTypeBadges{
    {{"264", 0xff0d47a1}, {"265", 0xff283593}, {"VP9", 0xff00695c}, {"AV1", 0xff4e342e}, {"=", 0xff37474f}}};

// A picture drawn in code on a square canvas of `canvas` pixels, drawn again at every size and
// device pixel ratio it is shown at, so that it stays sharp on a screen scaled to 2x.
class TDrawnIconEngine : public QIconEngine {
 public:
  using TDraw = std::function<void(QPainter&)>;
  TDrawnIconEngine(int canvas, QList<QSize> sizes, TDraw draw)
      : canvas_(canvas), sizes_(std::move(sizes)), draw_(std::move(draw)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    const qreal ratio = painter->device()->devicePixelRatioF();
    QPixmap picture = pixmap(rect.size() * ratio, mode, state);
    picture.setDevicePixelRatio(ratio);
    painter->drawPixmap(rect, picture);
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    {
      QPainter painter(&picture);
      painter.scale(size.width() / double(canvas_), size.height() / double(canvas_));
      draw_(painter);
    }
    if (mode == QIcon::Normal || mode == QIcon::Active) return picture;
    // Disabled and selected looks as the style makes them for any icon.
    QStyleOption option;
    option.palette = QApplication::palette();
    return QApplication::style()->generatedIconPixmap(mode, picture, &option);
  }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return sizes_; }
  QIconEngine* clone() const override { return new TDrawnIconEngine(*this); }

 private:
  int canvas_;
  QList<QSize> sizes_;
  TDraw draw_;
};

// A 16 x 16 picture of the boxes and tabs.
QIcon SmallIcon(TDrawnIconEngine::TDraw draw) {
  return QIcon(new TDrawnIconEngine(16, {QSize(16, 16), QSize(32, 32)}, std::move(draw)));
}

QIcon Badge(const TBadge& badge) {
  return SmallIcon([badge](QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgb(badge.Colour));
    painter.drawRoundedRect(QRectF(0.5, 2.5, 15, 11), 2, 2);
    QFont font;
    font.setPixelSize(std::strlen(badge.Text) > 2 ? 6 : 8);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(0, 2, 16, 12), Qt::AlignCenter, QString::fromLatin1(badge.Text));
  });
}

QIcon ProfileImage() {
  return SmallIcon([](QPainter& painter) {
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.setBrush(QColor(0xff, 0xf8, 0xe1));
    painter.drawRect(3, 1, 10, 13);
    painter.drawLine(5, 5, 11, 5);
    painter.drawLine(5, 8, 11, 8);
    painter.drawLine(5, 11, 9, 11);
  });
}

// One small symbol per page: a list, a phone, a film, a pencil.
QIcon PageSymbol(int page, bool active) {
  return SmallIcon([page, active](QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink = active ? QColor(0x00, 0x80, 0x80) : QColor(0x80, 0x80, 0x80);
    painter.setPen(QPen(ink, 1.5));
    switch (page) {
      case 0:
        for (int y : {4, 8, 12}) painter.drawLine(3, y, 13, y);
        break;
      case 1:
        painter.drawRoundedRect(QRectF(4.5, 1.5, 7, 13), 1.5, 1.5);
        painter.drawPoint(8, 12);
        break;
      case 2:
        painter.drawRect(QRectF(1.5, 3.5, 13, 9));
        for (int x : {4, 8, 12}) painter.drawPoint(x, 5);
        break;
      default:
        painter.drawLine(3, 13, 12, 4);
        painter.drawLine(11, 3, 13, 5);
        break;
    }
  });
}

}  // namespace

QIcon ComboImage(int index) {
  if (index >= 0 && index < int(FileTypeBadges.size())) return Badge(FileTypeBadges[size_t(index)]);
  if (index == 9) return ProfileImage();
  if (index >= 10 && index < 10 + int(ModernTypeBadges.size()))
    return Badge(ModernTypeBadges[size_t(index - 10)]);
  return {};
}

QIcon PageImage(int index) {
  if (index < 0 || index > 7) return {};
  return PageSymbol(index % 4, index >= 4);
}

QIcon ProgramIcon() {
  // A film frame with a turning arrow: conversion of video.
  const QList<QSize> sizes = {QSize(16, 16), QSize(32, 32),   QSize(48, 48),
                              QSize(64, 64), QSize(128, 128), QSize(256, 256)};
  return QIcon(new TDrawnIconEngine(64, sizes, [](QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x00, 0x6d, 0x77));
    painter.drawRoundedRect(QRectF(4, 10, 56, 44), 6, 6);
    painter.setBrush(Qt::white);
    for (int x = 9; x < 60; x += 10) {
      painter.drawRect(QRectF(x, 14, 5, 5));
      painter.drawRect(QRectF(x, 45, 5, 5));
    }
    QPainterPath arrow;
    arrow.moveTo(24, 23);
    arrow.lineTo(44, 32);
    arrow.lineTo(24, 41);
    arrow.closeSubpath();
    painter.setBrush(QColor(0xff, 0xb7, 0x03));
    painter.drawPath(arrow);
  }));
}

}  // namespace ok
