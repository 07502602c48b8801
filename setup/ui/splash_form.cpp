#include "ui/splash_form.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "ui/jpeg_image.h"

namespace zr::setup {
namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 480;
constexpr int kPictureSide = 160;
constexpr char kSplashFile[] = "./flash1.jpg";

}  // namespace

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), picture_(builtInPicture()) {
  setObjectName(QStringLiteral("SplashForm"));
  setWindowTitle(QStringLiteral("Program"));
  setFixedSize(kWidth, kHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  FormCreate();
}

void TSplashForm::FormCreate() {
  QImage loaded = loadJpegImage(kSplashFile);
  if (!loaded.isNull()) picture_ = std::move(loaded);
}

void TSplashForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  painter.drawImage(QPoint(0, 0), picture_);
}

QImage TSplashForm::builtInPicture() {
  QImage image(kPictureSide, kPictureSide, QImage::Format_RGB32);
  image.fill(QColor(0xF2, 0xF4, 0xF7));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // The meter's case.
  p.setPen(QPen(QColor(0x40, 0x48, 0x58), 3));
  p.setBrush(QColor(0xDD, 0xE3, 0xEA));
  p.drawRoundedRect(QRectF(22, 10, 116, 140), 12, 12);
  // Its display.
  p.setPen(QPen(QColor(0x20, 0x28, 0x30), 2));
  p.setBrush(QColor(0x9F, 0xC9, 0x8F));
  p.drawRect(QRectF(34, 28, 92, 30));
  QFont digits(QStringLiteral("Monospace"));
  digits.setStyleHint(QFont::TypeWriter);
  digits.setPixelSize(16);
  digits.setBold(true);
  p.setFont(digits);
  p.setPen(QColor(0x10, 0x20, 0x10));
  p.drawText(QRectF(34, 28, 92, 30), Qt::AlignCenter, QStringLiteral("0123.45"));
  QFont small = digits;
  small.setPixelSize(11);
  small.setBold(false);
  p.setFont(small);
  p.setPen(QColor(0x30, 0x38, 0x48));
  p.drawText(QRectF(34, 60, 92, 14), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("kWh"));
  // The pulse lamp and the optical port.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xD0, 0x30, 0x30));
  p.drawEllipse(QPointF(46, 92), 5, 5);
  p.setBrush(QColor(0x30, 0x38, 0x48));
  p.drawEllipse(QPointF(80, 112), 14, 14);
  p.setBrush(QColor(0xDD, 0xE3, 0xEA));
  p.drawEllipse(QPointF(80, 112), 6, 6);
  // The terminal cover.
  p.setBrush(QColor(0x40, 0x48, 0x58));
  p.drawRect(QRectF(40, 136, 80, 8));
  return image;
}

}  // namespace zr::setup
