#include "core/item_database.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "core/jet_item_database.h"
#include "core/setup_error.h"
#include "core/sqlite_item_database.h"
#include "core/system_fun.h"

namespace zr::setup {
namespace {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

std::string unquote(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

enum class FileKind { kMissing, kSqlite, kJet, kUnknown };

FileKind fileKind(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return FileKind::kMissing;
  std::array<char, 32> head{};
  in.read(head.data(), head.size());
  const std::string_view bytes(head.data(), static_cast<size_t>(in.gcount()));
  if (bytes.starts_with(std::string_view("SQLite format 3\0", 16))) return FileKind::kSqlite;
  if (bytes.size() >= 19 && (bytes.substr(4, 15) == "Standard Jet DB" || bytes.substr(4, 15) == "Standard ACE DB")) {
    return FileKind::kJet;
  }
  return FileKind::kUnknown;
}

}  // namespace

int layoutNumber(std::string_view flText) {
  const std::string text = trimText(flText);
  if (text.empty()) return 0;
  const std::optional<double> value = numericField(text);
  if (!value || *value < -1e9 || *value > 1e9) return -1;
  return static_cast<int>(*value);
}

bool sameCaption(std::string_view a, std::string_view b) { return equalsNoCase(a, b); }

std::optional<double> numericField(std::string_view text) {
  const std::string t(text);
  if (t.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(t.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::filesystem::path dataSourcePath(std::string_view connectionString, const std::filesystem::path& workingDir) {
  std::string_view rest = connectionString;
  while (!rest.empty()) {
    const size_t semi = rest.find(';');
    const std::string_view part = rest.substr(0, semi);
    rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
    const size_t eq = part.find('=');
    if (eq == std::string_view::npos || !equalsNoCase(trimText(part.substr(0, eq)), "Data Source")) continue;
    std::string source = unquote(trimText(part.substr(eq + 1)));
    for (char& c : source) {
      if (c == '\\') c = '/';
    }
    if (source.empty()) break;
    std::filesystem::path path(source);
    return (path.is_absolute() ? path : workingDir / path).lexically_normal();
  }
  throw SetupError("The connection string names no data source");
}

std::unique_ptr<ItemDatabase> openItemDatabase(const std::filesystem::path& file) {
  switch (fileKind(file)) {
    case FileKind::kMissing:
      throw SetupError("Could not find file '" + file.string() + "'.");
    case FileKind::kSqlite:
      return std::make_unique<SqliteItemDatabase>(file);
    case FileKind::kJet:
      return std::make_unique<JetItemDatabase>(file);
    case FileKind::kUnknown:
      break;
  }
  throw SetupError("Unrecognized database format '" + file.string() + "'.");
}

ItemStore::ItemStore(std::string connectionString, std::filesystem::path workingDir)
    : connectionString_(std::move(connectionString)), workingDir_(std::move(workingDir)) {}

ItemDatabase& ItemStore::database() {
  if (!db_) db_ = openItemDatabase(dataSourcePath(connectionString_, workingDir_));
  return *db_;
}

std::vector<TreeRow> ItemStore::treeLevel(const std::string& parentId) { return database().treeLevel(parentId); }

std::optional<ItemRow> ItemStore::findItem(const std::string& caption) { return database().findItem(caption); }

}  // namespace zr::setup
