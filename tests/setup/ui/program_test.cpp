// The program's start: registering the component, the splash picture, the main block.
#include <QApplication>
#include <QImage>
#include <QTimer>

#include "core/setup_error.h"
#include "ui/main_block.h"
#include "ui/splash_form.h"
#include "ui_harness.h"

namespace zr::setup::uitest {
namespace {

using ProgramTest = WindowTest;

TEST_F(ProgramTest, AComponentThatCannotBeRegisteredIsShownAndTheProgramFails) {
  const struct {
    const char* name;
    std::string path;
    const char* expected;
  } cases[] = {
      {"missing", "./kavlink.so", "error The communication component cannot be loaded: ./kavlink.so: cannot open"},
      {"no export", ZR_TEST_BIN_DIR "/libzrplatform.so",
       "error The communication component cannot be registered: " ZR_TEST_BIN_DIR
       "/libzrplatform.so has no DllRegisterServer"},
  };
  for (const auto& c : cases) {
    boxes.events.clear();
    EXPECT_EQ(runSetupProgram(boxes, {.componentPath = c.path}), 1) << c.name;
    ASSERT_EQ(boxes.events.size(), 1u) << c.name;
    EXPECT_EQ(boxes.events[0].rfind(c.expected, 0), 0u) << boxes.events[0];
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                             [](QWidget* w) { return w->isVisible(); }))
        << c.name;
  }
}

TEST_F(ProgramTest, AMeterLinkThatCannotBeMadeIsShownAndTheProgramFails) {
  ProgramOptions options{.componentPath = ZR_TEST_BIN_DIR "/kavlink.so",
                         .makeExchange = [](FormFields&, UiPort&) -> std::unique_ptr<ComExchange> {
                           throw SetupError("The communication component is not registered");
                         }};
  EXPECT_EQ(runSetupProgram(boxes, options), 1);
  EXPECT_EQ(boxes.events, std::vector<std::string>{"error The communication component is not registered"});
}

TEST_F(ProgramTest, StartsWithTheRegisteredComponentAndEndsThroughFormClose) {
  useSampleDatabase();
  writeFile("Tools.ini", "[option]\ncaption=Started\n");
  std::string caption;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->objectName() != "Form1" || !w->isVisible()) continue;
      caption = w->windowTitle().toStdString();
      w->close();
    }
  });
  ProgramOptions options{.componentPath = ZR_TEST_BIN_DIR "/kavlink.so",
                         .terminate = [](int code) { QCoreApplication::exit(code + 7); }};
  EXPECT_EQ(runSetupProgram(boxes, options), 7);
  EXPECT_EQ(caption, "Started");
  EXPECT_NE(readFile("Tools.ini").find("address=000000000001"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists("info.txt"));
  EXPECT_EQ(boxes.events, std::vector<std::string>{});
}

TEST_F(ProgramTest, SplashShowsFlashJpgWhenItDecodesAndTheBuiltInPictureOtherwise) {
  QImage red(40, 30, QImage::Format_RGB32);
  red.fill(QColor(220, 20, 20));
  ASSERT_TRUE(red.save("good.jpg", "JPG", 95));
  const QByteArray jpeg = QByteArray::fromStdString(readFile("good.jpg"));
  const struct {
    const char* name;
    std::function<void()> prepare;
    QSize size;
  } cases[] = {
      {"missing", [] {}, QSize(160, 160)},
      {"decodes", [&] { writeFile("flash1.jpg", jpeg.toStdString()); }, QSize(40, 30)},
      {"truncated", [&] { writeFile("flash1.jpg", jpeg.left(jpeg.size() / 2).toStdString()); }, QSize(160, 160)},
      // Cut inside the picture data, after a whole header: no half-decoded picture.
      {"cut near its end", [&] { writeFile("flash1.jpg", jpeg.left(jpeg.size() - 8).toStdString()); }, QSize(160, 160)},
      {"not a jpeg", [&] { red.save("flash1.jpg", "PNG"); }, QSize(160, 160)},
      {"empty", [] { writeFile("flash1.jpg", ""); }, QSize(160, 160)},
  };
  for (const auto& c : cases) {
    std::filesystem::remove("flash1.jpg");
    c.prepare();
    TSplashForm splash;
    EXPECT_EQ(splash.size(), QSize(420, 480)) << c.name;
    EXPECT_EQ(splash.windowTitle(), "Program") << c.name;
    EXPECT_EQ(splash.picture().size(), c.size) << c.name;
  }
  // The decoded picture is the file's, not just of its size.
  writeFile("flash1.jpg", jpeg.toStdString());
  const QColor centre = TSplashForm().picture().pixelColor(20, 15);
  EXPECT_GT(centre.red(), 180);
  EXPECT_LT(centre.green(), 70);
}

}  // namespace
}  // namespace zr::setup::uitest
