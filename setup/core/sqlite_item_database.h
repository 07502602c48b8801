// tree.mdb as an SQLite 3 database: the program's two queries run as prepared statements.
#pragma once

#include <filesystem>

#include "core/item_database.h"

struct sqlite3;
struct sqlite3_stmt;

namespace zr::setup {

class SqliteItemDatabase : public ItemDatabase {
 public:
  // Opens the file read-only; throws SetupError when it or the table cannot be used.
  explicit SqliteItemDatabase(const std::filesystem::path& file);
  ~SqliteItemDatabase() override;
  SqliteItemDatabase(const SqliteItemDatabase&) = delete;
  SqliteItemDatabase& operator=(const SqliteItemDatabase&) = delete;

  std::vector<TreeRow> treeLevel(const std::string& parentId) override;
  std::optional<ItemRow> findItem(const std::string& caption) override;

 private:
  [[noreturn]] void fail(const std::string& what) const;

  sqlite3* db_ = nullptr;
  sqlite3_stmt* treeLevel_ = nullptr;
  sqlite3_stmt* item_ = nullptr;
};

}  // namespace zr::setup
