// tree.mdb as a Jet (Access) file, read through mdbtools. The library runs no SQL, so the
// table is read once at open and the program's two queries are answered from those rows
// with the queries' own filter and order.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/item_database.h"

namespace zr::setup {

class JetItemDatabase : public ItemDatabase {
 public:
  // Reads table `tree`; throws SetupError when the file, the table or a column is missing,
  // and when the file is so damaged that reading it crashes or takes longer than limit.
  explicit JetItemDatabase(const std::filesystem::path& file, std::chrono::milliseconds limit = kReadLimit);
  static constexpr std::chrono::milliseconds kReadLimit{5000};

  std::vector<TreeRow> treeLevel(const std::string& parentId) override;
  std::optional<ItemRow> findItem(const std::string& caption) override;

 private:
  struct Row {
    TreeRow node;
    ItemRow item;
  };
  static std::vector<Row> readRows(const std::filesystem::path& file);
  static std::string encodeRows(const std::vector<Row>& rows);
  static bool decodeRows(std::string_view in, std::vector<Row>& rows);

  std::vector<Row> rows_;  // in the file's order
};

}  // namespace zr::setup
