// The result list of the "Read information" tab as a plain model: rows of item name, value
// and unit with a check box that marks the row for the next read. The window's list view
// mirrors it through a listener.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zr::setup {

struct ResultColumn {
  std::string title;
  int width;
};

struct ResultRow {
  std::string caption;
  std::string value;
  std::string unit;
  bool checked = false;
};

class ResultListListener {
 public:
  virtual ~ResultListListener() = default;
  virtual void columnsChanged() = 0;
  virtual void rowsReset() = 0;
  virtual void rowAppended(size_t row) = 0;
  virtual void rowChanged(size_t row) = 0;
};

class ResultList {
 public:
  // Sets up the three columns "Item", "Value", "Unit" and empties the list.
  void InitResultList();
  const std::vector<ResultColumn>& columns() const { return columns_; }

  size_t size() const { return rows_.size(); }
  const ResultRow& row(size_t index) const { return rows_.at(index); }

  void append(ResultRow row);
  void clear();
  // Sets both cells of a row; false when the row is gone.
  bool setCells(size_t index, const std::string& value, const std::string& unit);
  bool setChecked(size_t index, bool state);
  void setAllChecked(bool state);

  // Changes whenever rows are removed, so a long-running reader can tell that the row it
  // works on is gone, even when new rows stand at the same index.
  unsigned generation() const { return generation_; }

  void setListener(ResultListListener* listener) { listener_ = listener; }

 private:
  unsigned generation_ = 0;
  std::vector<ResultColumn> columns_;
  std::vector<ResultRow> rows_;
  ResultListListener* listener_ = nullptr;
};

}  // namespace zr::setup
