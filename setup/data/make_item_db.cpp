// Build tool: turns the item SQL text into a fresh SQLite database file.
//   zr_make_item_db <items.sql> <out.mdb>
// The file is written beside its final name and renamed into place, so an interrupted build
// never leaves half a database behind.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <items.sql> <out.mdb>\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string sql((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::filesystem::path out(argv[2]);
  std::filesystem::path temp = out;
  temp += ".tmp";
  std::error_code ec;
  std::filesystem::remove(temp, ec);

  sqlite3* db = nullptr;
  if (sqlite3_open(temp.c_str(), &db) != SQLITE_OK) {
    std::fprintf(stderr, "cannot create %s: %s\n", temp.c_str(), sqlite3_errmsg(db));
    sqlite3_close(db);
    return 1;
  }
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) std::fprintf(stderr, "%s: %s\n", argv[1], error ? error : sqlite3_errstr(rc));
  sqlite3_free(error);
  sqlite3_close(db);
  if (rc != SQLITE_OK) {
    std::filesystem::remove(temp, ec);
    return 1;
  }
  std::filesystem::rename(temp, out, ec);
  if (ec) {
    std::fprintf(stderr, "cannot rename to %s: %s\n", out.c_str(), ec.message().c_str());
    return 1;
  }
  return 0;
}
