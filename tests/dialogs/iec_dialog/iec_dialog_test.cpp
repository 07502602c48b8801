// The IEC 62056-21 control's setup dialog in a host that runs its own Qt application, on
// the offscreen platform: what it shows, what OK stores and what Cancel leaves.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "com/com_ptr.h"
#include "dialogs/dialog_test_support.h"
#include "iec62056/iec_setup_model.h"
#include "iec62056/zr_iec62056_21.h"

namespace kavlink::test {
namespace {

using M = iec::IecSetupModel;

QApplication& application() {
  static QApplication* app = [] {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "iec_dialog_test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

class IecDialog : public ::testing::Test {
 protected:
  void SetUp() override { application(); }
  zr::com::ComPtr<CZrIEC62056_21> iec = zr::com::ComPtr<CZrIEC62056_21>::attach(CZrIEC62056_21::create());
};

TEST_F(IecDialog, OpensOnTheSettingsAndOkStoresThem) {
  iec->put_Password(zr::com::Bstr(u"27509316").get());
  QString title, password, delay, format;
  bool notify = false;
  auto timer = whenShown([&](QWidget* w) {
    title = w->windowTitle();
    password = control<QLineEdit>(w, M::kPassword)->text();
    delay = control<QLineEdit>(w, M::kSwitchBaudDelay)->text();
    format = control<QComboBox>(w, M::kDisplayFormat)->currentText();
    notify = control<QCheckBox>(w, M::kMsgNotify)->isChecked();
    control<QLineEdit>(w, M::kFormatW)->setText("15");
    control<QLineEdit>(w, M::kMsgMaxLen)->setText("-5");
    control<QCheckBox>(w, M::kMsgImmediate)->setChecked(true);
    control<QComboBox>(w, M::kDisplayFormat)->setCurrentIndex(2);
    control<QPushButton>(w, 1)->click();
  });
  ASSERT_EQ(iec->ShowSetupDlg(), S_OK);
  EXPECT_EQ(title, "IEC62056-21 Config");
  EXPECT_EQ(password, "27509316");
  EXPECT_EQ(delay, "210");
  EXPECT_EQ(format, "ASCII format");
  EXPECT_TRUE(notify);
  const iec::LinkSettings& s = iec->settings();
  EXPECT_EQ(s.formatW, 2);
  EXPECT_EQ(s.msgMaxLen, -5);
  EXPECT_EQ(s.msgImmediate, 1);
  EXPECT_EQ(s.msgDisplayFormat, 3);
}

TEST_F(IecDialog, CancelChangesNothing) {
  auto timer = whenShown([&](QWidget* w) {
    control<QLineEdit>(w, M::kMsgTimeout)->setText("5");
    control<QPushButton>(w, 2)->click();
  });
  ASSERT_EQ(iec->ShowSetupDlg(), S_OK);
  EXPECT_EQ(iec->settings().msgTimeout, 2000);
}

}  // namespace
}  // namespace kavlink::test
