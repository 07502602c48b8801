// A read-only grid of texts: the status word rows (ValueListEditor1) and the load profile
// records (ListView2). The window's table view mirrors it through a listener.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zr::setup {

struct TableColumn {
  std::string title;
  int width;
};

class TableModelListener {
 public:
  virtual ~TableModelListener() = default;
  virtual void tableReset() = 0;
  virtual void rowAppended(size_t row) = 0;
};

class TableModel {
 public:
  explicit TableModel(std::vector<TableColumn> columns = {}) : columns_(std::move(columns)) {}

  const std::vector<TableColumn>& columns() const { return columns_; }
  size_t size() const { return rows_.size(); }
  const std::vector<std::string>& row(size_t index) const { return rows_.at(index); }

  // New columns and no rows.
  void reset(std::vector<TableColumn> columns);
  void clear();
  // Cells beyond the columns are dropped, missing ones read empty.
  void append(std::vector<std::string> cells);

  void setListener(TableModelListener* listener) { listener_ = listener; }

 private:
  std::vector<TableColumn> columns_;
  std::vector<std::vector<std::string>> rows_;
  TableModelListener* listener_ = nullptr;
};

}  // namespace zr::setup
