#include "ui/table_view.h"

#include <QHeaderView>

#include "ui/qt_text.h"

namespace zr::setup {

TableView::TableView(QWidget* parent) : QTableWidget(parent) {
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  verticalHeader()->hide();
  horizontalHeader()->setHighlightSections(false);
}

TableView::~TableView() {
  if (model_) model_->setListener(nullptr);
}

void TableView::bind(TableModel& model) {
  if (model_) model_->setListener(nullptr);
  model_ = &model;
  model.setListener(this);
  tableReset();
}

void TableView::tableReset() {
  setRowCount(0);
  const auto& columns = model_->columns();
  setColumnCount(static_cast<int>(columns.size()));
  QStringList titles;
  for (const TableColumn& c : columns) titles << toQt(c.title);
  setHorizontalHeaderLabels(titles);
  for (size_t i = 0; i < columns.size(); ++i) setColumnWidth(static_cast<int>(i), columns[i].width);
  for (size_t r = 0; r < model_->size(); ++r) rowAppended(r);
}

void TableView::rowAppended(size_t row) {
  const int r = static_cast<int>(row);
  insertRow(r);
  const auto& cells = model_->row(row);
  for (size_t c = 0; c < cells.size(); ++c) setItem(r, static_cast<int>(c), new QTableWidgetItem(toQt(cells[c])));
  scrollToItem(item(r, 0));
}

}  // namespace zr::setup
