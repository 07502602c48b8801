#include "core/item_tree.h"

namespace zr::setup {

int ItemTree::addNode(int parent, ItemRecord record) {
  const auto handle = static_cast<int>(nodes_.size());
  Node n;
  n.record = std::move(record);
  n.parent = parent;
  nodes_.push_back(std::move(n));
  if (parent == kNoNode) {
    topLevel_.push_back(handle);
  } else {
    nodes_.at(static_cast<size_t>(parent)).children.push_back(handle);
  }
  return handle;
}

void ItemTree::clear() {
  nodes_.clear();
  topLevel_.clear();
}

std::vector<int> ItemTree::displayOrder() const {
  std::vector<int> order;
  order.reserve(nodes_.size());
  // An explicit stack: a deep tree from a bad database must not exhaust the call stack.
  std::vector<int> stack(topLevel_.rbegin(), topLevel_.rend());
  while (!stack.empty()) {
    const int handle = stack.back();
    stack.pop_back();
    order.push_back(handle);
    const auto& children = node(handle).children;
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
  return order;
}

void ItemTree::SetNodeChecked(int handle, bool state) {
  Node& n = nodes_.at(static_cast<size_t>(handle));
  if (n.checked == state) return;
  n.checked = state;
  if (listener_) listener_(handle);
}

void ItemTree::SetSubtreeChecked(int handle, bool state) {
  std::vector<int> stack(node(handle).children.rbegin(), node(handle).children.rend());
  while (!stack.empty()) {
    const int h = stack.back();
    stack.pop_back();
    SetNodeChecked(h, state);
    const auto& children = node(h).children;
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
}

std::vector<std::string> ItemTree::checkedLeafTexts() const {
  std::vector<std::string> texts;
  for (int handle : displayOrder()) {
    const Node& n = node(handle);
    if (n.checked && n.children.empty()) texts.push_back(n.record.filename);
  }
  return texts;
}

}  // namespace zr::setup
