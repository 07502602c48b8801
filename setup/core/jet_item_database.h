// tree.mdb as a Jet (Access) file, read through mdbtools. The library runs no SQL, so the
// table is read once at open and the program's two queries are answered from those rows
// with the queries' own filter and order.
#pragma once

#include <filesystem>

#include "core/item_database.h"

namespace zr::setup {

class JetItemDatabase : public ItemDatabase {
 public:
  // Reads table `tree`; throws SetupError when the file, the table or a column is missing.
  explicit JetItemDatabase(const std::filesystem::path& file);

  std::vector<TreeRow> treeLevel(const std::string& parentId) override;
  std::optional<ItemRow> findItem(const std::string& caption) override;

 private:
  struct Row {
    TreeRow node;
    ItemRow item;
  };
  std::vector<Row> rows_;  // in the file's order
};

}  // namespace zr::setup
