// Builds the item tree from the item database: the top level is the rows with sjjd 0, and
// every node is followed at once by its own subtree, siblings ordered by id.
#pragma once

#include <string>

#include "core/item_database.h"
#include "core/item_tree.h"

namespace zr::setup {

// Adds the rows under parentId (and their subtrees) below parentNode. A row whose id is
// already on its own path is added but not followed, so a database whose sjjd links form a
// loop still gives a finite tree.
void LoadItemTreeLevel(ItemDatabase& db, ItemTree& tree, const std::string& parentId, int parentNode);

// The whole tree, from the top level ("0"). Database errors pass out unchanged, leaving the
// nodes read so far.
void LoadItemTree(ItemDatabase& db, ItemTree& tree);

}  // namespace zr::setup
