#include "core/jet_item_database.h"

#include <mdbtools.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "core/setup_error.h"

namespace zr::setup {
namespace {

constexpr size_t kBindSize = 4096;  // a Text(255) field in UTF-8 fits many times over

struct MdbCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
struct TableFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

// The columns the program reads, in the order they are bound.
enum Column { kId, kFilename, kSjjd, kDi1, kDi0, kUnits, kFl, kColumnCount };
constexpr std::array<const char*, kColumnCount> kColumnNames = {"id", "filename", "sjjd", "DI1", "DI0", "units", "fl"};

}  // namespace

JetItemDatabase::JetItemDatabase(const std::filesystem::path& file) {
  std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(file.c_str(), MDB_NOFLAGS));
  if (!mdb) throw SetupError("Unrecognized database format '" + file.string() + "'.");
  mdb_set_bind_size(mdb.get(), kBindSize);
  if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) throw SetupError("Cannot read the catalog of '" + file.string() + "'.");
  char tableName[] = "tree";
  std::unique_ptr<MdbTableDef, TableFreer> table(mdb_read_table_by_name(mdb.get(), tableName, MDB_TABLE));
  if (!table || !mdb_read_columns(table.get())) {
    throw SetupError("The database '" + file.string() + "' has no table 'tree'.");
  }

  std::array<std::array<char, kBindSize>, kColumnCount> buffers{};
  std::array<int, kColumnCount> lengths{};
  for (size_t c = 0; c < kColumnCount; ++c) {
    int number = 0;  // mdbtools counts columns from 1
    for (unsigned int i = 0; i < table->num_cols; ++i) {
      const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(table->columns, i));
      if (g_ascii_strcasecmp(column->name, kColumnNames[c]) == 0) number = static_cast<int>(i) + 1;
    }
    if (number == 0) throw SetupError(std::string("Table 'tree' has no column '") + kColumnNames[c] + "'.");
    mdb_bind_column(table.get(), number, buffers[c].data(), &lengths[c]);
  }

  auto text = [&](Column c) { return std::string(buffers[c].data(), strnlen(buffers[c].data(), kBindSize)); };
  mdb_rewind_table(table.get());
  while (mdb_fetch_row(table.get())) {
    Row row;
    row.node = {text(kId), text(kFilename), text(kSjjd)};
    row.item = {text(kDi1), text(kDi0), text(kUnits), layoutNumber(text(kFl))};
    rows_.push_back(std::move(row));
  }
}

std::vector<TreeRow> JetItemDatabase::treeLevel(const std::string& parentId) {
  const std::optional<double> parent = numericField(parentId);
  std::vector<const Row*> level;
  for (const Row& row : rows_) {
    // A null sjjd equals nothing, as in SQL.
    const std::optional<double> sjjd = numericField(row.node.sjjd);
    if (parent && sjjd && *sjjd == *parent) level.push_back(&row);
  }
  // Stable, so rows with equal ids keep the file's order; a null id sorts first, as Jet does.
  std::stable_sort(level.begin(), level.end(), [](const Row* a, const Row* b) {
    const auto x = numericField(a->node.id);
    const auto y = numericField(b->node.id);
    if (x && y) return *x < *y;
    return !x && y;
  });
  std::vector<TreeRow> out;
  out.reserve(level.size());
  for (const Row* row : level) out.push_back(row->node);
  return out;
}

std::optional<ItemRow> JetItemDatabase::findItem(const std::string& caption) {
  for (const Row& row : rows_) {
    if (sameCaption(row.node.filename, caption)) return row.item;
  }
  return std::nullopt;
}

}  // namespace zr::setup
