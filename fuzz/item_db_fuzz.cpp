// The item database readers fed arbitrary file contents: both the SQLite and the Jet
// reader (the latter through its child-process guard) must end with rows or a SetupError.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/item_database.h"
#include "core/jet_item_database.h"
#include "core/setup_error.h"

using namespace zr::setup;

namespace {

std::filesystem::path scratchFile() {
  static const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("zr_item_db_fuzz_" + std::to_string(::getpid()) + ".mdb");
  return file;
}

void readAll(ItemDatabase& db) {
  for (const TreeRow& row : db.treeLevel("0")) {
    db.treeLevel(row.id);
    db.findItem(row.filename);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = scratchFile();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    // By its header, as the program opens it.
    auto db = openItemDatabase(file);
    readAll(*db);
  } catch (const SetupError&) {
  }
  try {
    // And as Jet whatever the header says, since the guard is what is under test.
    JetItemDatabase jet(file, std::chrono::milliseconds(3000));
    readAll(jet);
  } catch (const SetupError&) {
  }
  return 0;
}
