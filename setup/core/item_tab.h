// The "Read information" tab without its widgets: the item tree, the result list and what
// its buttons do. The window binds its tree view and list view to tree() and results().
#pragma once

#include <filesystem>

#include "core/form_fields.h"
#include "core/item_database.h"
#include "core/item_tree.h"
#include "core/meter_exchange.h"
#include "core/result_list.h"
#include "core/ui_port.h"

namespace zr::setup {

class ItemTab {
 public:
  ItemTab(ItemDatabase& db, FormFields& form, MeterExchange& meter, UiPort& ui);

  ItemTree& tree() { return tree_; }
  ResultList& results() { return results_; }

  // At window creation: the tree, then the result list's columns. The list gets its columns
  // even when the database cannot be read; the database's error is raised afterwards.
  void create();

  // A click over a node: its whole subtree takes the node's own state.
  void TreeView1MouseUp(int node);
  // "Select": appends the ticked leaves, then ticks every row.
  void BitBtn2Click();
  // "Clear".
  void BitBtn3Click();
  // "Select all" changed to state.
  void chk1Click(bool state);
  // "Read": reads every ticked row from the meter.
  void BitBtn1Click();

  void SaveItemList(const std::filesystem::path& file) const;
  void LoadItemList(const std::filesystem::path& file);

 private:
  enum class RowOutcome { kNext, kStop, kListChanged };
  RowOutcome readRow(size_t index, const std::string& meterId, unsigned generation);

  ItemDatabase& db_;
  FormFields& form_;
  MeterExchange& meter_;
  UiPort& ui_;
  ItemTree tree_;
  ResultList results_;
};

}  // namespace zr::setup
