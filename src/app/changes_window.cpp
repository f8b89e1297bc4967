#include "app/changes_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwick {
namespace {

constexpr int kMarkRole = Qt::UserRole;

// A line of the table that sorts by the manage room's keys; rows equal in a column keep the
// order the table gave them.
class ChangeItem : public QTreeWidgetItem {
 public:
  ChangeItem(QTreeWidget* parent, const TableRow& row, int order)
      : QTreeWidgetItem(parent), row_(row), order_(order) {
    for (size_t column = 0; column < kColumnCount; ++column) {
      setText(static_cast<int>(column), QString::fromStdString(row.cells[column].text));
      if (row.cells[column].numeric) {
        setTextAlignment(static_cast<int>(column), Qt::AlignRight | Qt::AlignVCenter);
      }
    }
    setData(0, kMarkRole, static_cast<int>(row.mark));
  }

  bool operator<(const QTreeWidgetItem& other) const override {
    const auto& that = static_cast<const ChangeItem&>(other);
    const auto column = static_cast<size_t>(treeWidget()->sortColumn());
    if (column >= kColumnCount) return order_ < that.order_;
    const TableCell& a = row_.cells[column];
    const TableCell& b = that.row_.cells[column];
    if (CellLess(a, b)) return true;
    if (CellLess(b, a)) return false;
    return order_ < that.order_;
  }

 private:
  TableRow row_;
  int order_;
};

// Background of each mark; plain rows keep the table's own.
QColor MarkColour(RowMark mark) {
  switch (mark) {
    case RowMark::kConflict:
      return {255, 205, 150};
    case RowMark::kIdentical:
      return {205, 235, 205};
    case RowMark::kRefused:
      return {255, 175, 175};
    case RowMark::kOverridden:
      return {220, 220, 220};
    case RowMark::kPlain:
      break;
  }
  return {};
}

}  // namespace

ChangesWindow::ChangesWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ChangesWindow"));
  setWindowTitle(QString::fromLatin1(kChangesTitle));
  table_ = new QTreeWidget(this);
  table_->setObjectName(QStringLiteral("ChangesTable"));
  table_->setRootIsDecorated(false);
  table_->setUniformRowHeights(true);
  table_->setAlternatingRowColors(false);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setSortingEnabled(true);
  totals_ = new QLabel(this);
  totals_->setObjectName(QStringLiteral("ChangesTotals"));
  totals_->setTextFormat(Qt::PlainText);
  totals_->setWordWrap(true);
  auto* close_button = new QPushButton(QStringLiteral("Close"), this);
  connect(close_button, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addWidget(totals_);
  layout->addWidget(close_button, 0, Qt::AlignRight);
  resize(1000, 420);
}

void ChangesWindow::ShowTable(const ChangeTable& table) {
  setWindowTitle(QString::fromStdString(table.title));
  table_->setSortingEnabled(false);
  table_->clear();
  QStringList headings;
  for (const std::string& column : table.columns) headings << QString::fromStdString(column);
  table_->setHeaderLabels(headings);
  int order = 0;
  for (const TableRow& row : table.rows) {
    auto* item = new ChangeItem(table_, row, order++);
    if (row.mark == RowMark::kPlain) continue;
    for (int column = 0; column < table_->columnCount(); ++column) {
      item->setBackground(column, MarkColour(row.mark));
      item->setForeground(column, QColor(Qt::black));
    }
    if (row.mark == RowMark::kConflict || row.mark == RowMark::kRefused) {
      QFont bold = item->font(kColumnStatus);
      bold.setBold(true);
      item->setFont(kColumnStatus, bold);
      item->setFont(kColumnProvider, bold);
    }
  }
  table_->setSortingEnabled(true);
  table_->sortByColumn(kColumnRow, Qt::AscendingOrder);
  // Wide enough for every column where the screen allows.
  int width = 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width();
  for (int column = 0; column < table_->columnCount(); ++column) {
    table_->resizeColumnToContents(column);
    width += table_->columnWidth(column);
  }
  const int margins = layout()->contentsMargins().left() + layout()->contentsMargins().right();
  const int room = screen() != nullptr ? screen()->availableGeometry().width() : width + margins;
  resize(std::clamp(width + margins, 480, std::max(room, 480)), height());
  QString totals;
  for (const std::string& line : table.totals) {
    totals += (totals.isEmpty() ? QString() : QStringLiteral("\n")) + QString::fromStdString(line);
  }
  totals_->setText(totals);
  show();
  raise();
}

RowMark ChangesWindow::MarkOf(int row) const {
  const QTreeWidgetItem* item = table_->topLevelItem(row);
  return item == nullptr ? RowMark::kPlain : static_cast<RowMark>(item->data(0, kMarkRole).toInt());
}

}  // namespace tarnwick
