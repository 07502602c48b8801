#include "core/result_list.h"

namespace zr::setup {

void ResultList::InitResultList() {
  columns_ = {{"Item", 330}, {"Value", 330}, {"Unit", 130}};
  rows_.clear();
  ++generation_;
  if (listener_) {
    listener_->columnsChanged();
    listener_->rowsReset();
  }
}

void ResultList::append(ResultRow row) {
  rows_.push_back(std::move(row));
  if (listener_) listener_->rowAppended(rows_.size() - 1);
}

void ResultList::clear() {
  rows_.clear();
  ++generation_;
  if (listener_) listener_->rowsReset();
}

bool ResultList::setCells(size_t index, const std::string& value, const std::string& unit) {
  if (index >= rows_.size()) return false;
  rows_[index].value = value;
  rows_[index].unit = unit;
  if (listener_) listener_->rowChanged(index);
  return true;
}

bool ResultList::setChecked(size_t index, bool state) {
  if (index >= rows_.size()) return false;
  rows_[index].checked = state;
  if (listener_) listener_->rowChanged(index);
  return true;
}

void ResultList::setAllChecked(bool state) {
  for (size_t i = 0; i < rows_.size(); ++i) setChecked(i, state);
}

}  // namespace zr::setup
