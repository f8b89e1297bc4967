#include "winapp/changes_view.h"

#include <algorithm>
#include <utility>

#include "platform/wide_text_win32.h"

namespace tarnwick::winapp {
namespace {

// Plain rows keep the table's own background.
COLORREF Shade(RowMark mark) {
  switch (mark) {
    case RowMark::kConflict:
      return RGB(255, 205, 150);
    case RowMark::kIdentical:
      return RGB(205, 235, 205);
    case RowMark::kRefused:
      return RGB(255, 175, 175);
    case RowMark::kOverridden:
      return RGB(220, 220, 220);
    case RowMark::kPlain:
      break;
  }
  return CLR_INVALID;
}

ListRows Rows(const ChangeTable& table) {
  ListRows rows;
  for (const TableRow& row : table.rows) {
    ListRow shown{{}, Shade(row.mark)};
    for (const TableCell& cell : row.cells) shown.cells.push_back(WideFromUtf8(cell.text));
    rows.push_back(std::move(shown));
  }
  return rows;
}

}  // namespace

ListView ChangesView(ChangeTable table) {
  ListView view{.title = WideFromUtf8(table.title), .width = 0};
  for (size_t column = 0; column < table.columns.size(); ++column) {
    const bool numbers =
        std::any_of(table.rows.begin(), table.rows.end(), [&](const TableRow& row) {
          return column < row.cells.size() && row.cells[column].numeric;
        });
    view.columns.push_back({WideFromUtf8(table.columns[column]), ListColumn::kFitCells, numbers});
  }
  view.rows = Rows(table);
  for (const std::string& line : table.totals) {
    view.footer += (view.footer.empty() ? L"" : L"\r\n") + WideFromUtf8(line);
  }
  view.sort = [table = std::move(table)](size_t column, bool descending) mutable {
    SortTable(table, column, descending);
    return Rows(table);
  };
  return view;
}

}  // namespace tarnwick::winapp
