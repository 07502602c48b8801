// The splash window shown while the program starts: 420 x 480, caption "Program", no
// border icons, centred, filled by one picture drawn from the top left corner. The picture
// is ./flash1.jpg when that file decodes, else a built-in one of 160 x 160.
#pragma once

#include <QImage>
#include <QWidget>

namespace zr::setup {

class TSplashForm : public QWidget {
 public:
  explicit TSplashForm(QWidget* parent = nullptr);

  const QImage& picture() const { return picture_; }

  // The built-in picture: a meter drawn in code.
  static QImage builtInPicture();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Loads ./flash1.jpg in place of the built-in picture; any failure keeps the built-in one.
  void FormCreate();

  QImage picture_;
};

}  // namespace zr::setup
