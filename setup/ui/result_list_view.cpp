#include "ui/result_list_view.h"

#include <QHeaderView>

#include "ui/qt_text.h"

namespace zr::setup {

ResultListView::ResultListView(QWidget* parent) : QTableWidget(parent) {
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  verticalHeader()->hide();
  horizontalHeader()->setHighlightSections(false);
  connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { takeCheck(item); });
}

ResultListView::~ResultListView() {
  if (list_) list_->setListener(nullptr);
}

void ResultListView::bind(ResultList& list) {
  if (list_) list_->setListener(nullptr);
  list_ = &list;
  list.setListener(this);
  columnsChanged();
  rowsReset();
}

void ResultListView::columnsChanged() {
  const auto& columns = list_->columns();
  setColumnCount(static_cast<int>(columns.size()));
  QStringList titles;
  for (const ResultColumn& c : columns) titles << toQt(c.title);
  setHorizontalHeaderLabels(titles);
  for (size_t i = 0; i < columns.size(); ++i) setColumnWidth(static_cast<int>(i), columns[i].width);
}

void ResultListView::rowsReset() {
  syncing_ = true;
  setRowCount(0);
  syncing_ = false;
  for (size_t i = 0; i < list_->size(); ++i) rowAppended(i);
}

void ResultListView::rowAppended(size_t row) {
  syncing_ = true;
  insertRow(static_cast<int>(row));
  // A list whose columns were never set up holds no cells to fill.
  for (int c = 0; c < columnCount(); ++c) {
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | (c == 0 ? Qt::ItemIsUserCheckable : Qt::NoItemFlags));
    setItem(static_cast<int>(row), c, item);
  }
  syncing_ = false;
  showRow(row);
}

void ResultListView::rowChanged(size_t row) { showRow(row); }

void ResultListView::showRow(size_t row) {
  if (row >= static_cast<size_t>(rowCount()) || row >= list_->size()) return;
  const ResultRow& r = list_->row(row);
  const int at = static_cast<int>(row);
  syncing_ = true;
  // A list without its columns (no InitResultList yet) still holds the rows' texts.
  if (QTableWidgetItem* caption = item(at, 0)) {
    caption->setText(toQt(r.caption));
    caption->setCheckState(r.checked ? Qt::Checked : Qt::Unchecked);
  }
  if (QTableWidgetItem* value = item(at, 1)) value->setText(toQt(r.value));
  if (QTableWidgetItem* unit = item(at, 2)) unit->setText(toQt(r.unit));
  syncing_ = false;
}

void ResultListView::takeCheck(QTableWidgetItem* item) {
  if (syncing_ || !list_ || item->column() != 0) return;
  list_->setChecked(static_cast<size_t>(item->row()), item->checkState() == Qt::Checked);
}

}  // namespace zr::setup
