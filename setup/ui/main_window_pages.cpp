// The tabs of TForm1 that hold pages of their own: "System parameters set" and
// "LoadProfile". The pages are built in their own files (page_views.h); the window keeps
// what it touches itself, the tariff period edits and the log Memo1.
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/main_window.h"
#include "ui/page_views.h"

namespace zr::setup {

QWidget* TForm1::buildSystemParametersPage() {
  auto* page = emptyPage("TabSheet2");
  auto* layout = new QVBoxLayout(page);
  auto* pages = new QTabWidget(page);
  pages->setObjectName(QStringLiteral("PageControl2"));
  pages->addTab(buildClockPage(), QStringLiteral("Date and Time"));
  pages->addTab(buildTariffPage(), QStringLiteral("Tariff"));
  pages->addTab(buildOtherPage(), QStringLiteral("Other"));
  layout->addWidget(pages);
  return page;
}

QWidget* TForm1::buildTariffPage() { return buildTariffView(tariffEdits_); }

QWidget* TForm1::buildLoadProfilePage() {
  auto* page = emptyPage("TabSheet6");
  auto* layout = new QVBoxLayout(page);
  auto* pages = new QTabWidget(page);
  pages->setObjectName(QStringLiteral("PageControl3"));
  pages->addTab(buildClass1Page(), QStringLiteral("Class1"));
  pages->addTab(buildProfileSettingsPage(Memo1), QStringLiteral("Parameter settings"));
  layout->addWidget(pages);
  return page;
}

}  // namespace zr::setup
