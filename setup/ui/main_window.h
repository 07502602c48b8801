// TForm1, the program's one main window. It binds its widgets to the core: the input
// fields (FormFields), the "Read information" tab (ItemTab), the meter link (ComExchange)
// and the settings (Tools.ini). Widgets carry the control names of the design
// (setObjectName), so handlers and tests find them by those names.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

#include "core/form_fields.h"
#include "core/item_database.h"
#include "core/item_tab.h"
#include "ui/item_tree_view.h"
#include "ui/message_boxes.h"
#include "ui/meter_link.h"
#include "ui/qt_ui_port.h"
#include "ui/result_list_view.h"
#include "ui/tools_settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QVBoxLayout;

namespace zr::setup {

class PageBindings;

inline constexpr char kInfoFile[] = "./info.txt";

class TForm1 : public QMainWindow, public FormFields {
 public:
  // Builds the window, creates the meter link (makeExchange, or the component's when
  // empty; its failure is thrown out: the program cannot run without it), then runs
  // FormCreate, whose errors are shown and leave the window usable.
  explicit TForm1(MessageBoxes& boxes, ExchangeFactory makeExchange = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  std::string passwordText() const override;
  std::string meterIdText() const override;
  std::string portText() const override;
  bool isLocalChannel() const override;

  const ToolsSettings& settings() const { return settings_; }
  ItemTab& itemTab() { return *itemTab_; }
  ComExchange& exchange() { return *exchange_; }
  PageBindings& pages() { return *pageBindings_; }

  // How FormClose ends the process; by default at once, with no further clean-up.
  void setTerminate(std::function<void(int)> terminate) { terminate_ = std::move(terminate); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void FormClose();

  // Runs a handler; an error it raises goes to the default error display.
  void guarded(const std::function<void()>& handler);

  void buildTopPanel(QVBoxLayout& layout);
  void bindTopPanel();
  QWidget* buildItemPage();
  void bindItemPage();
  QWidget* buildSystemParametersPage();
  QWidget* buildTariffPage();
  QWidget* buildLoadProfilePage();
  static QWidget* emptyPage(const char* name);

  MessageBoxes& boxes_;
  ToolsSettings settings_;
  std::unique_ptr<QtUiPort> uiPort_;
  std::unique_ptr<ComExchange> exchange_;
  std::unique_ptr<ItemStore> itemStore_;
  std::unique_ptr<ItemTab> itemTab_;
  std::unique_ptr<PageBindings> pageBindings_;
  std::function<void(int)> terminate_;
  bool shown_ = false;

  // Top panel.
  QLineEdit* Edit1 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QLabel* passwLabel = nullptr;
  QLineEdit* passw = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* rbLocal = nullptr;
  QRadioButton* RadioButton2 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QLineEdit* txtIP = nullptr;
  QLineEdit* txtPort = nullptr;
  QPushButton* btnConnect = nullptr;
  QPushButton* btnDisconnect = nullptr;

  // Pages.
  QTabWidget* PageControl1 = nullptr;

  // "Read information".
  ItemTreeView* TreeView1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* FullCollapse1 = nullptr;
  QAction* FullExpand1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn3 = nullptr;
  QCheckBox* chk1 = nullptr;
  ResultListView* ListView1 = nullptr;

  // "Tariff": the ten period edits in period order.
  std::array<QLineEdit*, 10> tariffEdits_{};

  // "LoadProfile" / "Parameter settings".
  QPlainTextEdit* Memo1 = nullptr;
};

}  // namespace zr::setup
