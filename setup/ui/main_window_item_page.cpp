// The "Read information" tab of TForm1: the item tree with its popup menu on the left, the
// buttons and the result list on the right.
#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include "ui/main_window.h"

namespace zr::setup {

QWidget* TForm1::buildItemPage() {
  auto* page = new QWidget;
  page->setObjectName(QStringLiteral("TabSheet1"));
  auto* layout = new QHBoxLayout(page);
  auto* splitter = new QSplitter(Qt::Horizontal, page);

  TreeView1 = new ItemTreeView;
  TreeView1->setObjectName(QStringLiteral("TreeView1"));
  TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
  PopupMenu1 = new QMenu(TreeView1);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  FullCollapse1 = PopupMenu1->addAction(QStringLiteral("FullCollapse"));
  FullCollapse1->setObjectName(QStringLiteral("FullCollapse1"));
  FullExpand1 = PopupMenu1->addAction(QStringLiteral("FullExpand"));
  FullExpand1->setObjectName(QStringLiteral("FullExpand1"));
  splitter->addWidget(TreeView1);

  auto* right = new QWidget;
  auto* column = new QVBoxLayout(right);
  column->setContentsMargins(0, 0, 0, 0);
  auto* buttons = new QHBoxLayout;
  BitBtn2 = new QPushButton(QStringLiteral("Select"));
  BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
  BitBtn1 = new QPushButton(QStringLiteral("Read"));
  BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
  BitBtn3 = new QPushButton(QStringLiteral("Clear"));
  BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
  chk1 = new QCheckBox(QStringLiteral("Select all"));
  chk1->setObjectName(QStringLiteral("chk1"));
  buttons->addWidget(BitBtn2);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn3);
  buttons->addWidget(chk1);
  buttons->addStretch(1);
  column->addLayout(buttons);
  ListView1 = new ResultListView;
  ListView1->setObjectName(QStringLiteral("ListView1"));
  column->addWidget(ListView1, 1);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 3);
  splitter->setSizes({300, 900});

  layout->addWidget(splitter);
  return page;
}

void TForm1::bindItemPage() {
  ListView1->bind(itemTab_->results());
  TreeView1->bind(itemTab_->tree());
  TreeView1->setMouseUpHandler([this](int node) { guarded([&] { itemTab_->TreeView1MouseUp(node); }); });
  connect(TreeView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(TreeView1->viewport()->mapToGlobal(at)); });
  connect(FullCollapse1, &QAction::triggered, this, [this] { TreeView1->collapseAll(); });
  connect(FullExpand1, &QAction::triggered, this, [this] { TreeView1->expandAll(); });
  connect(BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { itemTab_->BitBtn2Click(); }); });
  connect(BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { itemTab_->BitBtn1Click(); }); });
  connect(BitBtn3, &QPushButton::clicked, this, [this] { guarded([this] { itemTab_->BitBtn3Click(); }); });
  connect(chk1, &QCheckBox::toggled, this, [this](bool state) { guarded([&] { itemTab_->chk1Click(state); }); });
}

}  // namespace zr::setup
