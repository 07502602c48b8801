// TreeView1: the item tree of the "Read information" tab, a check box on every node. It
// mirrors the core's ItemTree both ways: a box the user toggles goes into the model, and
// the model's changes (a subtree following its node) come back as boxes.
#pragma once

#include <QTreeWidget>
#include <functional>
#include <vector>

#include "core/item_tree.h"

namespace zr::setup {

class ItemTreeView : public QTreeWidget {
 public:
  explicit ItemTreeView(QWidget* parent = nullptr);
  ~ItemTreeView() override;

  // Builds the nodes of the model (all of them, in the model's order) and follows its
  // check changes from then on.
  void bind(ItemTree& tree);

  // Called with the node under the pointer (ItemTree::kNoNode when there is none) after a
  // mouse button is released over the tree and the view has done its own part (a click on
  // a box has toggled it).
  void setMouseUpHandler(std::function<void(int)> handler) { onMouseUp_ = std::move(handler); }

  QTreeWidgetItem* itemOf(int node) const;
  int nodeOf(const QTreeWidgetItem* item) const;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void showCheck(int node);
  void takeCheck(QTreeWidgetItem* item);

  ItemTree* tree_ = nullptr;
  std::vector<QTreeWidgetItem*> items_;
  std::function<void(int)> onMouseUp_;
  bool syncing_ = false;
};

}  // namespace zr::setup
