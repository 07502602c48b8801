#include "ui/main_window.h"

#include <unistd.h>

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cstdio>
#include <filesystem>

#include "core/system_fun.h"
#include "ui/page_views.h"
#include "ui/qt_text.h"

namespace zr::setup {
namespace {

void endProcessAtOnce(int code) {
  // As the system's process termination: no destructors, no further events.
  std::fflush(nullptr);
  ::_exit(code);
}

}  // namespace

TForm1::TForm1(MessageBoxes& boxes, ExchangeFactory makeExchange, QWidget* parent)
    : QMainWindow(parent), boxes_(boxes), terminate_(endProcessAtOnce) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("QKP(V)51HTR prepayment part"));

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  buildTopPanel(*layout);
  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  PageControl1->addTab(buildItemPage(), QStringLiteral("Read information"));
  PageControl1->addTab(buildSystemParametersPage(), QStringLiteral("System parameters set"));
  PageControl1->addTab(buildRelayPage(), QStringLiteral("Relay control"));
  // Designed with their tabs hidden: the user cannot open them.
  const int stateWord = PageControl1->addTab(buildStatusPage(), QStringLiteral("State word"));
  const int prepayment = PageControl1->addTab(buildPrepaymentPage(), QStringLiteral("Prepayment part"));
  PageControl1->setTabVisible(stateWord, false);
  PageControl1->setTabVisible(prepayment, false);
  QWidget* loadProfile = buildLoadProfilePage();
  PageControl1->addTab(loadProfile, QStringLiteral("LoadProfile"));
  PageControl1->setCurrentWidget(loadProfile);
  layout->addWidget(PageControl1, 1);
  setCentralWidget(central);
  setWindowState(Qt::WindowMaximized);

  uiPort_ = std::make_unique<QtUiPort>(*this, boxes_);
  exchange_ = makeExchange ? makeExchange(*this, *uiPort_) : makeComExchange(*this, *uiPort_);
  // The tab exists even when FormCreate fails before it is bound to its database.
  itemStore_ = std::make_unique<ItemStore>(kItemConnectionString, std::filesystem::current_path());
  itemTab_ = std::make_unique<ItemTab>(*itemStore_, *this, *exchange_, *uiPort_);
  bindTopPanel();
  bindItemPage();
  pageBindings_ = std::make_unique<PageBindings>(
      *this, *this, *exchange_, *uiPort_, [this](const std::function<void()>& h) { guarded(h); },
      [this] { return settings_.threePhase(); });
  guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
  // The views go first: they are bound to models (item tab) that are members of this
  // window and die before the base class would delete its child widgets.
  delete takeCentralWidget();
}

std::string TForm1::passwordText() const { return fromQt(passw->text()); }
std::string TForm1::meterIdText() const { return fromQt(Edit1->text()); }
std::string TForm1::portText() const { return fromQt(ComboBox1->currentText()); }
bool TForm1::isLocalChannel() const { return rbLocal->isChecked(); }

void TForm1::guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (...) {
    showError(boxes_, std::current_exception());
  }
}

void TForm1::FormCreate() {
  settings_ = readToolsSettings();
  Edit1->setText(toQt(settings_.address));
  ComboBox1->setEditText(toQt(settings_.port));
  setWindowTitle(toQt(settings_.caption));
  // The tree is shown as far as it was read, and the list gets its columns, even when the
  // database fails; then its error is raised.
  std::exception_ptr error;
  try {
    itemTab_->create();
  } catch (...) {
    error = std::current_exception();
  }
  TreeView1->bind(itemTab_->tree());
  TreeView1->collapseAll();
  if (error) std::rethrow_exception(error);
}

void TForm1::FormShow() {
  const QString port = ComboBox1->currentText();
  for (const std::string& name : GetSerialPortNames()) ComboBox1->addItem(toQt(name));
  ComboBox1->setEditText(port);  // the list grows; the text stays as the settings gave it
  itemTab_->LoadItemList(kInfoFile);
  exchange_->FormShow(ExchangeSettings{settings_.Wtime, settings_.BaudRate, settings_.loraSelected(), settings_.CSCS});
  for (QLineEdit* edit : tariffEdits_) edit->setEnabled(false);
}

void TForm1::FormClose() {
  // Both files are tried; a failure is shown and ends the process with a failure code
  // rather than passing for a clean exit.
  int code = 0;
  try {
    writeToolsAddressPort(fromQt(Edit1->text()), fromQt(ComboBox1->currentText()));
  } catch (...) {
    showError(boxes_, std::current_exception());
    code = 1;
  }
  try {
    itemTab_->SaveItemList(kInfoFile);
  } catch (...) {
    showError(boxes_, std::current_exception());
    code = 1;
  }
  terminate_(code);
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_ || event->spontaneous()) return;
  shown_ = true;
  guarded([this] { FormShow(); });
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

QWidget* TForm1::emptyPage(const char* name) {
  auto* page = new QWidget;
  page->setObjectName(QString::fromLatin1(name));
  return page;
}

}  // namespace zr::setup
