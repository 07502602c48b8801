// A read-only grid mirroring a core TableModel (the status rows, the load profile records);
// it scrolls to each new row, so a long reading shows how far it has come.
#pragma once

#include <QTableWidget>

#include "core/table_model.h"

namespace zr::setup {

class TableView : public QTableWidget, private TableModelListener {
 public:
  explicit TableView(QWidget* parent = nullptr);
  ~TableView() override;

  void bind(TableModel& model);

 private:
  void tableReset() override;
  void rowAppended(size_t row) override;

  TableModel* model_ = nullptr;
};

}  // namespace zr::setup
