// The item database tree.mdb: one table `tree` of tree nodes and data items. It is read
// either as a Jet (Access) file or as an SQLite 3 file with the same table, whichever the
// file's header says; both give the same rows in the same order.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr::setup {

inline constexpr char kItemConnectionString[] =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=.\\tree.mdb;Persist Security Info=False";

// The two queries of the program. Values are bound as parameters, never pasted into the
// text, so a caption with an apostrophe is just a caption. Jet compares text without regard
// to case; the SQLite query says so, and the Jet reader does the same.
inline constexpr char kTreeLevelSql[] = "select id,filename,sjjd from tree where sjjd=?1 order by id";
inline constexpr char kItemSql[] = "select DI1,DI0,units,fl from tree where filename=?1 collate nocase";

// A node row: texts as read (a null field reads as the empty text).
struct TreeRow {
  std::string id;
  std::string filename;
  std::string sjjd;
};

// A data item row.
struct ItemRow {
  std::string di1;
  std::string di0;
  std::string units;
  int fl = 0;  // value layout; a text that is not a number gives -1, no layout
};

class ItemDatabase {
 public:
  virtual ~ItemDatabase() = default;
  // The rows whose sjjd equals parentId, ordered by id.
  virtual std::vector<TreeRow> treeLevel(const std::string& parentId) = 0;
  // The first row whose filename is the caption; nothing when there is none.
  virtual std::optional<ItemRow> findItem(const std::string& caption) = 0;
};

// The file a connection string's "Data Source" names, relative to workingDir. Throws
// SetupError when the string names none.
std::filesystem::path dataSourcePath(std::string_view connectionString, const std::filesystem::path& workingDir);

// Opens the file as Jet or SQLite by its header. Throws SetupError with the reason.
std::unique_ptr<ItemDatabase> openItemDatabase(const std::filesystem::path& file);

// The database of a connection string, opened on first use. A failed open is raised to the
// caller and tried again at the next use, as a query on a closed connection would be.
class ItemStore : public ItemDatabase {
 public:
  ItemStore(std::string connectionString, std::filesystem::path workingDir);

  std::vector<TreeRow> treeLevel(const std::string& parentId) override;
  std::optional<ItemRow> findItem(const std::string& caption) override;

 private:
  ItemDatabase& database();

  std::string connectionString_;
  std::filesystem::path workingDir_;
  std::unique_ptr<ItemDatabase> db_;
};

// Shared by both readers, so they read the same texts the same way.
int layoutNumber(std::string_view flText);
bool sameCaption(std::string_view a, std::string_view b);
// A numeric field's text as a number; nothing for a null (empty) field or another text.
std::optional<double> numericField(std::string_view text);

}  // namespace zr::setup
