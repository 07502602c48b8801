// The program's real message boxes: their titles, icons and buttons.
#include "ui/message_boxes.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTimer>

#include "ui_harness.h"

namespace zr::setup::uitest {
namespace {

struct SeenBox {
  std::string title;
  std::string text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  std::vector<std::string> buttons;
};

// Shows one box and reads it while it is open, then closes it with its first button.
SeenBox showAndRead(const std::function<void()>& show) {
  SeenBox seen;
  bool read = false;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    poll.stop();
    seen.title = box->windowTitle().toStdString();
    seen.text = box->text().toStdString();
    seen.icon = box->icon();
    for (QAbstractButton* b : box->buttons()) seen.buttons.push_back(b->text().toStdString());
    read = true;
    box->buttons().front()->click();
  });
  poll.start();
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [] {
    if (auto* box = QApplication::activeModalWidget()) box->close();
  });
  deadline.start(3000);
  show();
  EXPECT_TRUE(read) << "no box came up";
  return seen;
}

TEST(MessageBoxes, TitlesIconsAndButtons) {
  application();
  QtMessageBoxes boxes;
  const struct {
    const char* what;
    std::function<void()> show;
    SeenBox expected;
  } cases[] = {
      {"plain",
       [&] { boxes.information("Reading is completed!"); },
       {"Information", "Reading is completed!", QMessageBox::NoIcon, {"OK"}}},
      {"warning",
       [&] { boxes.warningYes("Serial port open failed"); },
       {"Warning", "Serial port open failed", QMessageBox::Warning, {"&Yes"}}},
      {"error",
       [&] { boxes.error("Please input Meter ID !"); },
       {"Information", "Please input Meter ID !", QMessageBox::Critical, {"OK"}}},
  };
  for (const auto& c : cases) {
    const SeenBox seen = showAndRead(c.show);
    EXPECT_EQ(seen.title, c.expected.title) << c.what;
    EXPECT_EQ(seen.text, c.expected.text) << c.what;
    EXPECT_EQ(seen.icon, c.expected.icon) << c.what;
    EXPECT_EQ(seen.buttons, c.expected.buttons) << c.what;
  }
}

}  // namespace
}  // namespace zr::setup::uitest
