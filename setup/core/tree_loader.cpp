#include "core/tree_loader.h"

#include <algorithm>
#include <vector>

namespace zr::setup {
namespace {

bool sameId(const std::string& a, const std::string& b) {
  const auto x = numericField(a);
  const auto y = numericField(b);
  if (x && y) return *x == *y;
  return a == b;
}

// One level being walked: its rows and the next one to add.
struct Level {
  std::vector<TreeRow> rows;
  size_t next = 0;
  int parentNode;
};

}  // namespace

void LoadItemTreeLevel(ItemDatabase& db, ItemTree& tree, const std::string& parentId, int parentNode) {
  // Walked with an explicit stack: a long chain of rows must not exhaust the call stack.
  std::vector<std::string> path = {parentId};
  std::vector<Level> levels;
  levels.push_back({db.treeLevel(parentId), 0, parentNode});
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.rows.size()) {
      levels.pop_back();
      path.pop_back();
      continue;
    }
    const TreeRow& row = level.rows[level.next++];
    const int node = tree.addNode(level.parentNode, ItemRecord{row.id, row.sjjd, row.filename});
    const bool onPath =
        std::any_of(path.begin(), path.end(), [&](const std::string& id) { return sameId(id, row.id); });
    if (onPath) continue;
    const std::string id = row.id;  // row dies when levels grows
    std::vector<TreeRow> children = db.treeLevel(id);
    path.push_back(id);
    levels.push_back({std::move(children), 0, node});
  }
}

void LoadItemTree(ItemDatabase& db, ItemTree& tree) { LoadItemTreeLevel(db, tree, "0", ItemTree::kNoNode); }

}  // namespace zr::setup
