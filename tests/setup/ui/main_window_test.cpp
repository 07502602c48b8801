// The main window's layout, its item tab bound to the core, and what it keeps across runs.
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "setup/core/sqlite_file.h"
#include "ui_harness.h"

namespace zr::setup::uitest {
namespace {

std::vector<std::vector<std::string>> listRows(QTableWidget& list) {
  std::vector<std::vector<std::string>> rows;
  for (int r = 0; r < list.rowCount(); ++r) {
    rows.push_back({list.item(r, 0)->text().toStdString(), list.item(r, 1)->text().toStdString(),
                    list.item(r, 2)->text().toStdString(),
                    list.item(r, 0)->checkState() == Qt::Checked ? "ticked" : "-"});
  }
  return rows;
}

QTreeWidgetItem* findNode(QTreeWidget& tree, const char* text) {
  const auto found = tree.findItems(QString::fromUtf8(text), Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

void releaseMouseOver(QTreeWidget& tree, QTreeWidgetItem* item) {
  tree.scrollToItem(item);
  const QPoint at = tree.visualItemRect(item).center();
  QMouseEvent release(QEvent::MouseButtonRelease, at, tree.viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(tree.viewport(), &release);
}

TEST_F(WindowTest, OpensMaximisedOnLoadProfileWithEveryTabInOrder) {
  useSampleDatabase();
  start();
  EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
  auto* pages = child<QTabWidget>("PageControl1");
  std::vector<std::string> tabs;
  std::vector<bool> visible;
  for (int i = 0; i < pages->count(); ++i) {
    tabs.push_back(pages->tabText(i).toStdString());
    visible.push_back(pages->isTabVisible(i));
  }
  EXPECT_EQ(tabs, (std::vector<std::string>{"Read information", "System parameters set", "Relay control", "State word",
                                            "Prepayment part", "LoadProfile"}));
  EXPECT_EQ(visible, (std::vector<bool>{true, true, true, false, false, true}));
  EXPECT_EQ(pages->tabText(pages->currentIndex()), "LoadProfile");
  EXPECT_EQ(child<QPlainTextEdit>("Memo1")->toPlainText(), "Memo1");
  EXPECT_FALSE(child<QLineEdit>("passw")->isVisible());
  EXPECT_EQ(child<QLineEdit>("passw")->text(), "318204");
  for (int k = 1; k <= 10; ++k) {
    EXPECT_FALSE(child<QLineEdit>(("LabeledEdit" + std::to_string(k)).c_str())->isEnabled()) << k;
  }
  EXPECT_TRUE(boxes.events.empty());
}

TEST_F(WindowTest, InfoFileIsRestoredIntoTheListAndSavedBackAtClose) {
  useSampleDatabase();
  writeFile("info.txt", "Total active energy,000123.45,kWh\r\nVoltage A,0220\r\nlone\r\n\r\na,b,c,d\r\n");
  start();
  auto* list = child<QTableWidget>("ListView1");
  EXPECT_EQ(listRows(*list), (std::vector<std::vector<std::string>>{{"Total active energy", "000123.45", "kWh", "-"},
                                                                    {"Voltage A", "", "0220", "-"},
                                                                    {"", "", "lone", "-"},
                                                                    {"", "", "", "-"},
                                                                    {"a", "b", "c,d", "-"}}));
  child<QPushButton>("BitBtn3")->click();  // "Clear"
  EXPECT_EQ(list->rowCount(), 0);
  window->close();
  EXPECT_EQ(readFile("info.txt"), "");
}

TEST_F(WindowTest, ADatabaseFailureIsShownAndTheWindowOpensWithAnEmptyTreeAndTheListsColumns) {
  start();  // no tree.mdb
  ASSERT_EQ(boxes.events.size(), 1u);
  EXPECT_EQ(boxes.events[0].rfind("error ", 0), 0u) << boxes.events[0];
  EXPECT_EQ(child<QTreeWidget>("TreeView1")->topLevelItemCount(), 0);
  auto* list = child<QTableWidget>("ListView1");
  ASSERT_EQ(list->columnCount(), 3);
  const int widths[] = {330, 330, 130};
  const char* titles[] = {"Item", "Value", "Unit"};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(list->horizontalHeaderItem(c)->text(), titles[c]);
    EXPECT_EQ(list->columnWidth(c), widths[c]);
  }
}

// Chinese and degree-sign texts from both kinds of database reach the tree and the list as
// they are, and the list saved at close holds them as UTF-8.
TEST_F(WindowTest, NonAsciiCaptionsAndUnitsRoundTripThroughTreeListAndInfoFile) {
  const struct {
    const char* database;
    const char* leaf;
    const char* unit;
  } cases[] = {
      {"tree-cjk.mdb", "当前时间", ""},
      {"tree-cjk.mdb", "Temp (°C) now", ""},
      {nullptr, "温度", "°C"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dir.path / "tree.mdb");
    std::filesystem::remove(dir.path / "info.txt");
    if (c.database) {
      std::filesystem::copy_file(std::filesystem::path(ZR_SOURCE_DIR "/tests/setup/data") / c.database,
                                 dir.path / "tree.mdb");
    } else {
      makeSqlite(dir.path / "tree.mdb",
                 "CREATE TABLE tree (id INTEGER, filename TEXT, sjjd INTEGER, DI1 TEXT, DI0 TEXT, units TEXT, fl "
                 "INTEGER); INSERT INTO tree VALUES (1,'温度',0,'B6','30','°C',0);");
    }
    start();
    QTreeWidgetItem* node = findNode(*child<QTreeWidget>("TreeView1"), c.leaf);
    ASSERT_NE(node, nullptr) << c.leaf;
    node->setCheckState(0, Qt::Checked);
    child<QPushButton>("BitBtn2")->click();  // "Select"
    auto* list = child<QTableWidget>("ListView1");
    ASSERT_EQ(list->rowCount(), 1) << c.leaf;
    EXPECT_EQ(list->item(0, 0)->text(), QString::fromUtf8(c.leaf));
    window->close();
    EXPECT_EQ(readFile("info.txt"), std::string(c.leaf) + ",,\r\n");
    window.reset();
    start();  // and back from info.txt
    ASSERT_EQ(child<QTableWidget>("ListView1")->rowCount(), 1);
    EXPECT_EQ(child<QTableWidget>("ListView1")->item(0, 0)->text(), QString::fromUtf8(c.leaf));
    window.reset();
  }
  EXPECT_EQ(boxes.events, std::vector<std::string>{});
}

TEST_F(WindowTest, AnInfoFileInGb18030IsRestored) {
  useSampleDatabase();
  writeFile("info.txt", "\xCE\xC2\xB6\xC8,25,\xA1\xE6\r\n");  // 温度,25,℃
  start();
  auto* list = child<QTableWidget>("ListView1");
  ASSERT_EQ(list->rowCount(), 1);
  EXPECT_EQ(list->item(0, 0)->text(), QString::fromUtf8("温度"));
  EXPECT_EQ(list->item(0, 2)->text(), QString::fromUtf8("℃"));
}

TEST_F(WindowTest, ADamagedJetDatabaseGivesItsBoxAndTheWindowKeepsRunning) {
  std::filesystem::copy_file(ZR_SOURCE_DIR "/tests/setup/data/tree-damaged.mdb", dir.path / "tree.mdb");
  start();
  ASSERT_EQ(boxes.events.size(), 1u);
  EXPECT_EQ(boxes.events[0].rfind("error The item database is damaged or not a database: ", 0), 0u) << boxes.events[0];
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(child<QTreeWidget>("TreeView1")->topLevelItemCount(), 0);
  child<QPushButton>("BitBtn2")->click();  // "Select" on the empty tree still works
  EXPECT_EQ(child<QTableWidget>("ListView1")->rowCount(), 0);
}

TEST_F(WindowTest, BranchClickTicksItsSubtreeAndSelectTakesTheLeavesTicked) {
  useSampleDatabase();
  start();
  auto* tree = child<QTreeWidget>("TreeView1");
  auto* list = child<QTableWidget>("ListView1");
  QTreeWidgetItem* demand = findNode(*tree, "Demand");
  ASSERT_NE(demand, nullptr);
  EXPECT_FALSE(demand->isExpanded());     // the tree starts collapsed
  demand->setCheckState(0, Qt::Checked);  // the box, as a click on it toggles it
  releaseMouseOver(*tree, demand);
  EXPECT_EQ(findNode(*tree, "Maximum active demand")->checkState(0), Qt::Checked);
  EXPECT_EQ(findNode(*tree, "Time of maximum active demand")->checkState(0), Qt::Checked);

  child<QPushButton>("BitBtn2")->click();  // "Select"
  child<QPushButton>("BitBtn2")->click();  // again: every leaf once more
  const std::vector<std::string> leaves = {"Maximum active demand", "Time of maximum active demand"};
  ASSERT_EQ(list->rowCount(), 4);
  for (int r = 0; r < 4; ++r) {
    EXPECT_EQ(list->item(r, 0)->text().toStdString(), leaves[static_cast<size_t>(r % 2)]);
    EXPECT_EQ(list->item(r, 0)->checkState(), Qt::Checked);
  }

  // A box cleared in the list is cleared in the model: "Select all" off and on again.
  list->item(1, 0)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(window->itemTab().results().row(1).checked);
  auto* all = child<QCheckBox>("chk1");
  all->setChecked(true);
  EXPECT_TRUE(window->itemTab().results().row(1).checked);
  all->setChecked(false);
  EXPECT_EQ(list->item(3, 0)->checkState(), Qt::Unchecked);

  // A release over a node's text re-applies the node's own state to its subtree.
  findNode(*tree, "Maximum active demand")->setCheckState(0, Qt::Unchecked);
  releaseMouseOver(*tree, demand);
  EXPECT_EQ(findNode(*tree, "Maximum active demand")->checkState(0), Qt::Checked);
}

TEST_F(WindowTest, ReadWithoutMeterIdShowsTheCheckInTheErrorDisplayAndLeavesReadEnabled) {
  useSampleDatabase();
  start();
  child<QLineEdit>("Edit1")->setText("   ");
  child<QPushButton>("BitBtn1")->click();
  EXPECT_EQ(boxes.events, std::vector<std::string>{"error Please input Meter ID !"});
  EXPECT_TRUE(child<QPushButton>("BitBtn1")->isEnabled());
}

TEST_F(WindowTest, ScreenshotOfTheMainWindow) {
  useSampleDatabase();
  writeFile("info.txt", "Total active energy,000123.45,kWh\r\nVoltage A,0220,V\r\nTime,10:30:00,\r\n");
  start();
  window->setWindowState(Qt::WindowNoState);
  window->resize(1180, 640);
  child<QTabWidget>("PageControl1")->setCurrentIndex(0);
  child<QAction>("FullExpand1")->trigger();
  auto* tree = child<QTreeWidget>("TreeView1");
  findNode(*tree, "Energy")->setCheckState(0, Qt::Checked);
  releaseMouseOver(*tree, findNode(*tree, "Energy"));
  const QString file = QStringLiteral(ZR_TEST_BIN_DIR "/setup_window.png");
  ASSERT_TRUE(window->grab().save(file, "PNG"));
  EXPECT_GT(std::filesystem::file_size(file.toStdString()), 1000u);
}

}  // namespace
}  // namespace zr::setup::uitest
