// The item tree as a plain model: nodes with a record of their database row, children in
// display order and a check box each. The window's tree view mirrors it; it tells the view
// about check changes through a listener.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zr::setup {

// The row a node stands for, as texts.
struct ItemRecord {
  std::string id;
  std::string sjjd;
  std::string filename;
};

class ItemTree {
 public:
  static constexpr int kNoNode = -1;

  struct Node {
    ItemRecord record;
    int parent = kNoNode;
    std::vector<int> children;
    bool checked = false;
  };

  // Adds a node as the last child of parent (kNoNode: top level); returns its handle.
  int addNode(int parent, ItemRecord record);
  void clear();

  size_t size() const { return nodes_.size(); }
  const Node& node(int handle) const { return nodes_.at(static_cast<size_t>(handle)); }
  const std::string& text(int handle) const { return node(handle).record.filename; }
  const std::vector<int>& topLevel() const { return topLevel_; }

  // Every node, parents before their children, siblings in order.
  std::vector<int> displayOrder() const;

  void SetNodeChecked(int handle, bool state);
  bool IsNodeChecked(int handle) const { return node(handle).checked; }
  // Every descendant of the node (not the node itself), depth first.
  void SetSubtreeChecked(int handle, bool state);

  // The texts of the ticked nodes without children, in display order.
  std::vector<std::string> checkedLeafTexts() const;

  // Called with a node's handle whenever its check box changes.
  void setCheckListener(std::function<void(int)> listener) { listener_ = std::move(listener); }

 private:
  std::vector<Node> nodes_;
  std::vector<int> topLevel_;
  std::function<void(int)> listener_;
};

}  // namespace zr::setup
