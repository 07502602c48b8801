// An SQLite item database made from SQL text, for tests that need one of their own.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

namespace zr::setup {

inline void makeSqlite(const std::filesystem::path& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* error = nullptr;
  const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
  sqlite3_free(error);
  sqlite3_close(db);
}

}  // namespace zr::setup
