#include "core/jet_item_database.h"

#include <mdbtools.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/child_run.h"
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

constexpr char kRowsTag = 'R';
constexpr char kErrorTag = 'E';

void putText(std::string& out, const std::string& text) {
  const auto n = static_cast<uint32_t>(text.size());
  out.append(reinterpret_cast<const char*>(&n), sizeof n);
  out += text;
}

bool takeText(std::string_view& in, std::string& text) {
  uint32_t n = 0;
  if (in.size() < sizeof n) return false;
  std::memcpy(&n, in.data(), sizeof n);
  in.remove_prefix(sizeof n);
  if (in.size() < n) return false;
  text.assign(in.substr(0, n));
  in.remove_prefix(n);
  return true;
}

}  // namespace

std::string JetItemDatabase::encodeRows(const std::vector<Row>& rows) {
  std::string out;
  for (const Row& r : rows) {
    for (const std::string* t : {&r.node.id, &r.node.filename, &r.node.sjjd, &r.item.di1, &r.item.di0, &r.item.units}) {
      putText(out, *t);
    }
    putText(out, std::to_string(r.item.fl));
  }
  return out;
}

bool JetItemDatabase::decodeRows(std::string_view in, std::vector<Row>& rows) {
  while (!in.empty()) {
    Row r;
    std::string fl;
    for (std::string* t : {&r.node.id, &r.node.filename, &r.node.sjjd, &r.item.di1, &r.item.di0, &r.item.units, &fl}) {
      if (!takeText(in, *t)) return false;
    }
    r.item.fl = std::atoi(fl.c_str());
    rows.push_back(std::move(r));
  }
  return true;
}

// The unguarded read through libmdb: only ever called inside the child process.
std::vector<JetItemDatabase::Row> JetItemDatabase::readRows(const std::filesystem::path& file) {
  std::vector<Row> rows;
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
    rows.push_back(std::move(row));
  }
  return rows;
}

JetItemDatabase::JetItemDatabase(const std::filesystem::path& file, std::chrono::milliseconds limit) {
  // libmdb walks the file's pages without checking them, so a damaged file can crash or
  // hang it: the read runs in a child process and only its rows come back.
  const ChildResult result = runInChild(
      [&] {
        try {
          return std::string(1, kRowsTag) + encodeRows(readRows(file));
        } catch (const SetupError& e) {
          return std::string(1, kErrorTag) + e.what();
        }
      },
      limit);
  if (result.outcome == ChildResult::Outcome::kDone && !result.bytes.empty()) {
    if (result.bytes[0] == kErrorTag) throw SetupError(result.bytes.substr(1));
    if (result.bytes[0] == kRowsTag && decodeRows(std::string_view(result.bytes).substr(1), rows_)) return;
  }
  throw SetupError("The item database is damaged or not a database: " + file.string());
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
