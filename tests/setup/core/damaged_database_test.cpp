// Users' own tree.mdb files can be damaged in any way; reading one must give an error text,
// never a crash or a hang of the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "core/child_run.h"
#include "core/item_database.h"
#include "core/jet_item_database.h"
#include "core/setup_error.h"
#include "temp_dir.h"

namespace zr::setup {
namespace {

const std::filesystem::path kTestData = std::filesystem::path(ZR_SOURCE_DIR) / "tests/setup/data";

std::string readBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(ChildRun, OutcomesOfTheWork) {
  using namespace std::chrono_literals;
  EXPECT_EQ(runInChild([] { return std::string("rows"); }, 5s).bytes, "rows");
  const struct {
    std::function<std::string()> work;
    ChildResult::Outcome outcome;
  } cases[] = {
      {[] { return std::string(100000, 'x'); }, ChildResult::Outcome::kDone},  // more than a pipe holds
      {[]() -> std::string { std::abort(); }, ChildResult::Outcome::kCrashed},
      {[]() -> std::string { throw std::runtime_error("no"); }, ChildResult::Outcome::kCrashed},
      {[]() -> std::string {
         for (;;) pause();
       },
       ChildResult::Outcome::kTimedOut},
  };
  for (const auto& c : cases) {
    const ChildResult r = runInChild(c.work, 300ms);
    EXPECT_EQ(r.outcome, c.outcome);
    if (c.outcome == ChildResult::Outcome::kDone) {
      EXPECT_EQ(r.bytes.size(), 100000u);
    }
  }
}

TEST(DamagedDatabase, TheKnownDamagedFileGivesTheDamageMessage) {
  ItemStore store("Data Source=.\\tree-damaged.mdb", kTestData);
  try {
    store.treeLevel("0");
    ADD_FAILURE() << "the damaged file was read";
  } catch (const SetupError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("The item database is damaged or not a database: ", 0), 0u) << e.what();
  }
}

// Mutated copies of the sample: each either reads or raises a SetupError with a text.
TEST(DamagedDatabase, MutatedCopiesOfTheSampleNeverCrashTheReader) {
  const std::string sample = readBytes(kTestData / "tree-sample.mdb");
  ASSERT_EQ(sample.size(), 131072u);
  TempDir dir;
  const auto file = dir.path / "tree.mdb";
  std::mt19937 random(20261209);
  int failures = 0;
  for (int round = 0; round < 300; ++round) {
    std::string bytes = sample;
    // Damage lands where the reader looks: the header and catalog pages, then anywhere.
    const size_t span = round < 200 ? 0x4000 : bytes.size();
    const int changes = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < changes; ++i) bytes[random() % span] = static_cast<char>(random());
    if (round % 50 == 49) bytes.resize(random() % bytes.size());  // a cut file
    writeBytes(file, bytes);
    try {
      JetItemDatabase db(file, std::chrono::milliseconds(2000));
      db.treeLevel("0");
    } catch (const SetupError& e) {
      EXPECT_NE(std::string(e.what()), "");
      ++failures;
    }
  }
  EXPECT_GT(failures, 0);  // the damage is real
}

}  // namespace
}  // namespace zr::setup
