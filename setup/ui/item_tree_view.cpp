#include "ui/item_tree_view.h"

#include <QMouseEvent>

#include "ui/qt_text.h"

namespace zr::setup {
namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

}  // namespace

ItemTreeView::ItemTreeView(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) { takeCheck(item); });
}

ItemTreeView::~ItemTreeView() {
  if (tree_) tree_->setCheckListener({});
}

void ItemTreeView::bind(ItemTree& tree) {
  if (tree_) tree_->setCheckListener({});
  syncing_ = true;
  clear();
  items_.assign(tree.size(), nullptr);
  for (int node : tree.displayOrder()) {
    const int parent = tree.node(node).parent;
    auto* item = parent == ItemTree::kNoNode ? new QTreeWidgetItem(this) : new QTreeWidgetItem(itemOf(parent));
    item->setText(0, toQt(tree.text(node)));
    item->setData(0, kNodeRole, node);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, tree.IsNodeChecked(node) ? Qt::Checked : Qt::Unchecked);
    items_[static_cast<size_t>(node)] = item;
  }
  syncing_ = false;
  tree_ = &tree;
  tree.setCheckListener([this](int node) { showCheck(node); });
}

QTreeWidgetItem* ItemTreeView::itemOf(int node) const {
  if (node < 0 || static_cast<size_t>(node) >= items_.size()) return nullptr;
  return items_[static_cast<size_t>(node)];
}

int ItemTreeView::nodeOf(const QTreeWidgetItem* item) const {
  if (!item) return ItemTree::kNoNode;
  bool ok = false;
  const int node = item->data(0, kNodeRole).toInt(&ok);
  return ok ? node : ItemTree::kNoNode;
}

void ItemTreeView::showCheck(int node) {
  QTreeWidgetItem* item = itemOf(node);
  if (!item || !tree_) return;
  syncing_ = true;
  item->setCheckState(0, tree_->IsNodeChecked(node) ? Qt::Checked : Qt::Unchecked);
  syncing_ = false;
}

void ItemTreeView::takeCheck(QTreeWidgetItem* item) {
  if (syncing_ || !tree_) return;
  const int node = nodeOf(item);
  if (node == ItemTree::kNoNode) return;
  tree_->SetNodeChecked(node, item->checkState(0) == Qt::Checked);
}

void ItemTreeView::mouseReleaseEvent(QMouseEvent* event) {
  QTreeWidget::mouseReleaseEvent(event);
  if (onMouseUp_) onMouseUp_(nodeOf(itemAt(event->position().toPoint())));
}

}  // namespace zr::setup
