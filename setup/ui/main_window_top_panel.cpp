// The top panel of TForm1: the meter ID with "Set ID" and "Read ID", the hidden password,
// and "Communication setup" (local serial port or remote server).
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/main_window.h"
#include "ui/qt_text.h"

namespace zr::setup {
namespace {

template <class W>
W* named(W* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

}  // namespace

void TForm1::buildTopPanel(QVBoxLayout& layout) {
  auto* panel = named(new QWidget, "Panel1");
  auto* row = new QHBoxLayout(panel);

  row->addWidget(named(new QLabel(QStringLiteral("Meter ID:")), "Label1"));
  Edit1 = named(new QLineEdit(QString::fromLatin1(kDefaultMeterId)), "Edit1");
  Edit1->setMaxLength(12);
  Edit1->setMinimumWidth(130);
  row->addWidget(Edit1);
  Button1 = named(new QPushButton(QStringLiteral("Set ID")), "Button1");
  Button2 = named(new QPushButton(QStringLiteral("Read ID")), "Button2");
  row->addWidget(Button1);
  row->addWidget(Button2);

  // Never shown: every write carries the designed password.
  passwLabel = named(new QLabel(QStringLiteral("Passward:")), "Label2");
  passw = named(new QLineEdit(QStringLiteral("318204")), "passw");
  passw->setMaxLength(6);
  passw->setEchoMode(QLineEdit::Password);
  passwLabel->setVisible(false);
  passw->setVisible(false);
  row->addWidget(passwLabel);
  row->addWidget(passw);

  GroupBox1 = named(new QGroupBox(QStringLiteral("Communication setup")), "GroupBox1");
  auto* grid = new QGridLayout(GroupBox1);
  rbLocal = named(new QRadioButton(QStringLiteral("Local Serial")), "rbLocal");
  rbLocal->setChecked(true);
  RadioButton2 = named(new QRadioButton(QStringLiteral("Remote")), "RadioButton2");
  ComboBox1 = named(new QComboBox, "ComboBox1");
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  ComboBox1->setEditText(QStringLiteral("COM1"));
  ComboBox1->setMinimumWidth(130);
  txtIP = named(new QLineEdit(QStringLiteral("127.0.0.1")), "txtIP");
  txtPort = named(new QLineEdit(QStringLiteral("6020")), "txtPort");
  txtPort->setMaximumWidth(70);
  // Room for a whole address and port when the window is not maximised.
  txtIP->setMinimumWidth(110);
  txtPort->setMinimumWidth(50);
  btnConnect = named(new QPushButton(QStringLiteral("Connect")), "btnConnect");
  btnDisconnect = named(new QPushButton(QStringLiteral("Disconnect")), "btnDisconnect");
  grid->addWidget(rbLocal, 0, 0);
  grid->addWidget(ComboBox1, 0, 1);
  grid->addWidget(RadioButton2, 1, 0);
  auto* remote = new QHBoxLayout;
  remote->addWidget(named(new QLabel(QStringLiteral("Server IP:")), "Label3"));
  remote->addWidget(txtIP);
  remote->addWidget(txtPort);
  remote->addWidget(btnConnect);
  remote->addWidget(btnDisconnect);
  grid->addLayout(remote, 1, 1);
  row->addWidget(GroupBox1);
  row->addStretch(1);

  layout.addWidget(panel);
}

void TForm1::bindTopPanel() {
  connect(btnConnect, &QPushButton::clicked, this,
          [this] { guarded([this] { exchange_->btnConnectClick(fromQt(txtIP->text()), fromQt(txtPort->text())); }); });
  connect(btnDisconnect, &QPushButton::clicked, this, [this] { guarded([this] { exchange_->btnDisconnectClick(); }); });
}

}  // namespace zr::setup
