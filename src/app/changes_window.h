#pragma once

#include <QDialog>

#include "manage/change_table.h"

class QLabel;
class QTreeWidget;

namespace tarnwick {

// "What it changes…": a change table as the manage room gives it, one line per change, sortable
// by any column; a change that overrides an installed mod, one that writes what is already there,
// a refused row and an overridden change each have their own colour, and the totals stand below.
class ChangesWindow : public QDialog {
 public:
  explicit ChangesWindow(QWidget* parent = nullptr);

  // Fills the window with `table`, sorted by row, and shows it.
  void ShowTable(const ChangeTable& table);

  QTreeWidget* Table() const { return table_; }
  QLabel* Totals() const { return totals_; }
  // The mark of a row as the table gave it (the row as shown now, after any sorting).
  RowMark MarkOf(int row) const;

 private:
  QTreeWidget* table_;
  QLabel* totals_;
};

}  // namespace tarnwick
