// ListView1: the result list of the "Read information" tab, a grid of the three columns with
// a check box on every row. It mirrors the core's ResultList; a box the user toggles goes
// into the model.
#pragma once

#include <QTableWidget>

#include "core/result_list.h"

namespace zr::setup {

class ResultListView : public QTableWidget, private ResultListListener {
 public:
  explicit ResultListView(QWidget* parent = nullptr);
  ~ResultListView() override;

  void bind(ResultList& list);

 private:
  void columnsChanged() override;
  void rowsReset() override;
  void rowAppended(size_t row) override;
  void rowChanged(size_t row) override;

  void showRow(size_t row);
  void takeCheck(QTableWidgetItem* item);

  ResultList* list_ = nullptr;
  bool syncing_ = false;
};

}  // namespace zr::setup
