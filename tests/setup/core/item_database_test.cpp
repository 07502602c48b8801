#include "core/item_database.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/setup_error.h"
#include "core/tree_loader.h"
#include "sqlite_file.h"
#include "temp_dir.h"

namespace zr::setup {
namespace {

const std::filesystem::path kTestData = std::filesystem::path(ZR_SOURCE_DIR) / "tests/setup/data";
const std::filesystem::path kBinDir = ZR_TEST_BIN_DIR;
constexpr char kJetSample[] = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=.\\tree-sample.mdb";

std::vector<std::string> displayTexts(const ItemTree& tree) {
  std::vector<std::string> texts;
  for (int handle : tree.displayOrder()) texts.push_back(tree.text(handle));
  return texts;
}

// Every node hangs under the row its sjjd names, and siblings come in id order.
void expectParentsAndIdOrder(const ItemTree& tree) {
  auto checkSiblings = [&](const std::vector<int>& siblings, const std::string& parentId) {
    for (size_t i = 0; i < siblings.size(); ++i) {
      const ItemRecord& r = tree.node(siblings[i]).record;
      EXPECT_EQ(std::stod(r.sjjd), std::stod(parentId)) << r.filename;
      if (i > 0) {
        EXPECT_LT(std::stod(tree.node(siblings[i - 1]).record.id), std::stod(r.id)) << r.filename;
      }
    }
  };
  checkSiblings(tree.topLevel(), "0");
  for (size_t h = 0; h < tree.size(); ++h) {
    checkSiblings(tree.node(static_cast<int>(h)).children, tree.node(static_cast<int>(h)).record.id);
  }
}

TEST(ItemDatabase, JetSampleGivesTheTreeDepthFirstInIdOrder) {
  ItemStore store(kJetSample, kTestData);
  ItemTree tree;
  LoadItemTree(store, tree);
  EXPECT_EQ(displayTexts(tree),
            (std::vector<std::string>{"Energy", "Total active energy", "Tariff 1 active energy", "Clock", "Time",
                                      "Date and week", "Status", "Running status word", "Meter's relay state",
                                      "Tariff periods", "Period 1", "Voltage A", "Unknown layout"}));
  expectParentsAndIdOrder(tree);
  for (size_t h = 0; h < tree.size(); ++h) tree.SetNodeChecked(static_cast<int>(h), true);
  EXPECT_EQ(tree.checkedLeafTexts(),
            (std::vector<std::string>{"Total active energy", "Tariff 1 active energy", "Time", "Date and week",
                                      "Running status word", "Meter's relay state", "Period 1", "Voltage A",
                                      "Unknown layout"}));
}

TEST(ItemDatabase, BuiltSampleGivesTheTreeDepthFirstInIdOrder) {
  ItemStore store(kItemConnectionString, kBinDir);
  ItemTree tree;
  LoadItemTree(store, tree);
  EXPECT_EQ(tree.size(), 35u);
  expectParentsAndIdOrder(tree);
  const auto texts = displayTexts(tree);
  const std::vector<std::string> start = {"Energy", "Total active energy", "Tariff 1 active energy"};
  EXPECT_TRUE(std::equal(start.begin(), start.end(), texts.begin()));
  EXPECT_EQ(texts.back(), "Period 4");
}

// The Jet file's rows again as SQLite, stored in the same order with the same nulls.
constexpr char kJetRowsAsSqlite[] = R"(
CREATE TABLE tree (id INTEGER, filename TEXT, sjjd INTEGER, DI1 TEXT, DI0 TEXT, units TEXT, fl INTEGER);
INSERT INTO tree VALUES (1,'Energy',0,NULL,NULL,NULL,0), (2,'Total active energy',1,'90','10','kWh',1),
  (3,'Tariff 1 active energy',1,'90','11','kWh',1), (10,'Clock',0,NULL,NULL,NULL,0),
  (12,'Date and week',10,'C0','10','',9), (11,'Time',10,'C0','11','',10), (20,'Status',0,NULL,NULL,NULL,0),
  (21,'Running status word',20,'C0','20','',13), (22,'Meter''s relay state',20,'C0','26','',13),
  (30,'Tariff periods',0,NULL,NULL,NULL,0), (31,'Period 1',30,'C3','31','',4), (32,'Voltage A',0,'B6','11','V',0),
  (40,'Unknown layout',0,'90','1F','kWh',99);
)";

TEST(ItemDatabase, JetAndSqliteGiveTheSameRowsInTheSameOrder) {
  TempDir dir;
  makeSqlite(dir.path / "tree.mdb", kJetRowsAsSqlite);
  ItemStore jet(kJetSample, kTestData);
  ItemStore sqlite(kItemConnectionString, dir.path);
  for (const char* parent : {"0", "1", "10", "20", "30", "2", "99"}) {
    const auto a = jet.treeLevel(parent);
    const auto b = sqlite.treeLevel(parent);
    ASSERT_EQ(a.size(), b.size()) << parent;
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(std::tie(a[i].id, a[i].filename, a[i].sjjd), std::tie(b[i].id, b[i].filename, b[i].sjjd));
    }
  }
  for (const char* caption : {"Energy", "Date and week", "Meter's relay state", "meter'S RELAY STATE", "Unknown layout",
                              "Nowhere", "x' or '1'='1", "'; drop table tree; --"}) {
    const auto a = jet.findItem(caption);
    const auto b = sqlite.findItem(caption);
    ASSERT_EQ(a.has_value(), b.has_value()) << caption;
    if (a) {
      EXPECT_EQ(std::tie(a->di1, a->di0, a->units, a->fl), std::tie(b->di1, b->di0, b->units, b->fl)) << caption;
    }
  }
  EXPECT_EQ(sqlite.treeLevel("0").size(), 6u);  // the table survived every caption
}

TEST(ItemDatabase, CaptionWithApostropheIsFoundAndNothingInACaptionRuns) {
  struct Source {
    const char* connection;
    std::filesystem::path dir;
    const char* caption;
    ItemRow expected;
  };
  const Source sources[] = {
      {kJetSample, kTestData, "Meter's relay state", {"C0", "26", "", 13}},
      {kItemConnectionString, kBinDir, "Meter's running status word", {"C0", "20", "", 13}},
  };
  for (const auto& s : sources) {
    ItemStore store(s.connection, s.dir);
    const auto item = store.findItem(s.caption);
    ASSERT_TRUE(item) << s.caption;
    EXPECT_EQ(std::tie(item->di1, item->di0, item->units, item->fl),
              std::tie(s.expected.di1, s.expected.di0, s.expected.units, s.expected.fl));
    EXPECT_FALSE(store.findItem("' or ''='"));
  }
}

TEST(ItemDatabase, RowLeadingBackToItsOwnPathIsNotFollowed) {
  TempDir dir;
  makeSqlite(dir.path / "tree.mdb", R"(
    CREATE TABLE tree (id INTEGER, filename TEXT, sjjd INTEGER, DI1 TEXT, DI0 TEXT, units TEXT, fl INTEGER);
    INSERT INTO tree (id, filename, sjjd) VALUES (1,'A',0), (2,'B',1), (1,'A again',2), (0,'Zero at top',0),
      (5,'Own parent',5);)");
  ItemStore store(kItemConnectionString, dir.path);
  ItemTree tree;
  LoadItemTree(store, tree);
  EXPECT_EQ(displayTexts(tree), (std::vector<std::string>{"Zero at top", "A", "B", "A again"}));
}

// Captions and units in Chinese and with a degree sign, from both kinds of file.
TEST(ItemDatabase, NonAsciiTextsComeOutAsUtf8) {
  TempDir dir;
  makeSqlite(dir.path / "tree.mdb", R"(
    CREATE TABLE tree (id INTEGER, filename TEXT, sjjd INTEGER, DI1 TEXT, DI0 TEXT, units TEXT, fl INTEGER);
    INSERT INTO tree VALUES (1,'温度',0,'B6','30','°C',0);)");
  ItemStore sqlite(kItemConnectionString, dir.path);
  ASSERT_EQ(sqlite.treeLevel("0").size(), 1u);
  EXPECT_EQ(sqlite.treeLevel("0")[0].filename, "温度");
  EXPECT_EQ(sqlite.findItem("温度")->units, "°C");

  ItemStore jet("Data Source=.\\tree-cjk.mdb", kTestData);
  EXPECT_EQ(jet.treeLevel("0")[0].filename, "正向有功电能");
  std::vector<std::string> clock;
  for (const TreeRow& row : jet.treeLevel("10")) clock.push_back(row.filename);
  EXPECT_EQ(clock, (std::vector<std::string>{"当前时间", "Temp (°C) now"}));
  EXPECT_EQ(jet.findItem("当前时间")->di0, "11");
}

TEST(ItemDatabase, UnusableFilesRaiseTheirReason) {
  TempDir dir;
  std::ofstream(dir.path / "text.mdb") << "not a database at all, just some text";
  makeSqlite(dir.path / "empty.mdb", "CREATE TABLE other (x INTEGER);");
  const struct {
    const char* source;
    const char* reason;
  } cases[] = {
      {"Data Source=.\\missing.mdb", "Could not find file"},
      {"Data Source=.\\text.mdb", "Unrecognized database format"},
      {"Data Source=.\\empty.mdb", "no such table"},
      {"Provider=Microsoft.Jet.OLEDB.4.0", "no data source"},
  };
  for (const auto& c : cases) {
    ItemStore store(c.source, dir.path);
    try {
      store.treeLevel("0");
      ADD_FAILURE() << c.source;
    } catch (const SetupError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

TEST(ItemDatabase, DataSourceIsTakenFromTheWorkingDirectory) {
  const struct {
    const char* connection;
    const char* expected;
  } cases[] = {
      {kItemConnectionString, "/w/tree.mdb"},
      {"provider=x; data source = \"sub\\items.mdb\" ;Persist Security Info=False", "/w/sub/items.mdb"},
      {"Data Source=/abs/tree.mdb", "/abs/tree.mdb"},
  };
  for (const auto& c : cases) EXPECT_EQ(dataSourcePath(c.connection, "/w"), c.expected) << c.connection;
}

}  // namespace
}  // namespace zr::setup
