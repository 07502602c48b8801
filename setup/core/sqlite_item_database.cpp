#include "core/sqlite_item_database.h"

#include <sqlite3.h>

#include <cstdlib>

#include "core/setup_error.h"

namespace zr::setup {
namespace {

std::string columnText(sqlite3_stmt* stmt, int column) {
  const auto* text = sqlite3_column_text(stmt, column);
  if (!text) return {};
  return std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(stmt, column)));
}

// Resets a statement whatever way the query ends.
class StatementUse {
 public:
  explicit StatementUse(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~StatementUse() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  StatementUse(const StatementUse&) = delete;
  StatementUse& operator=(const StatementUse&) = delete;

 private:
  sqlite3_stmt* stmt_;
};

}  // namespace

SqliteItemDatabase::SqliteItemDatabase(const std::filesystem::path& file) {
  const int rc = sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr);
  if (rc != SQLITE_OK) {
    const std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    throw SetupError("Cannot open '" + file.string() + "': " + message);
  }
  try {
    if (sqlite3_prepare_v2(db_, kTreeLevelSql, -1, &treeLevel_, nullptr) != SQLITE_OK) fail("tree query");
    if (sqlite3_prepare_v2(db_, kItemSql, -1, &item_, nullptr) != SQLITE_OK) fail("item query");
  } catch (...) {
    sqlite3_finalize(treeLevel_);
    sqlite3_close(db_);
    throw;
  }
}

SqliteItemDatabase::~SqliteItemDatabase() {
  sqlite3_finalize(treeLevel_);
  sqlite3_finalize(item_);
  sqlite3_close(db_);
}

void SqliteItemDatabase::fail(const std::string& what) const {
  throw SetupError("Item database " + what + ": " + sqlite3_errmsg(db_));
}

std::vector<TreeRow> SqliteItemDatabase::treeLevel(const std::string& parentId) {
  StatementUse use(treeLevel_);
  // The column holds numbers; a number bound as one compares the way Jet compares.
  char* end = nullptr;
  const long long number = std::strtoll(parentId.c_str(), &end, 10);
  const int bound =
      (!parentId.empty() && *end == '\0')
          ? sqlite3_bind_int64(treeLevel_, 1, number)
          : sqlite3_bind_text(treeLevel_, 1, parentId.data(), static_cast<int>(parentId.size()), SQLITE_TRANSIENT);
  if (bound != SQLITE_OK) fail("tree query");
  std::vector<TreeRow> rows;
  int rc;
  while ((rc = sqlite3_step(treeLevel_)) == SQLITE_ROW) {
    rows.push_back({columnText(treeLevel_, 0), columnText(treeLevel_, 1), columnText(treeLevel_, 2)});
  }
  if (rc != SQLITE_DONE) fail("tree query");
  return rows;
}

std::optional<ItemRow> SqliteItemDatabase::findItem(const std::string& caption) {
  StatementUse use(item_);
  if (sqlite3_bind_text(item_, 1, caption.data(), static_cast<int>(caption.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
    fail("item query");
  }
  const int rc = sqlite3_step(item_);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) fail("item query");
  return ItemRow{columnText(item_, 0), columnText(item_, 1), columnText(item_, 2), layoutNumber(columnText(item_, 3))};
}

}  // namespace zr::setup
