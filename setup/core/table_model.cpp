#include "core/table_model.h"

namespace zr::setup {

void TableModel::reset(std::vector<TableColumn> columns) {
  columns_ = std::move(columns);
  rows_.clear();
  if (listener_) listener_->tableReset();
}

void TableModel::clear() {
  rows_.clear();
  if (listener_) listener_->tableReset();
}

void TableModel::append(std::vector<std::string> cells) {
  cells.resize(columns_.size());
  rows_.push_back(std::move(cells));
  if (listener_) listener_->rowAppended(rows_.size() - 1);
}

}  // namespace zr::setup
