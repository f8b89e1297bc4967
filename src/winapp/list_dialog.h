#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "winapp/twips.h"
#include "winapp/win32.h"

namespace tarnwick::winapp {

struct ListColumn {
  // Twips. kRestOfTable takes what the other columns leave; kFitCells fits its cells and heading.
  static constexpr int kRestOfTable = 0;
  static constexpr int kFitCells = -1;
  std::wstring text;
  int width = kRestOfTable;
  bool numbers = false;  // aligned right
};

struct ListRow {
  std::vector<std::wstring> cells;
  COLORREF shade = CLR_INVALID;  // the row's background; the table's own when CLR_INVALID
};
using ListRows = std::vector<ListRow>;

// A button left of "Close" for the selected row, enabled while a row is selected. `act` gets the
// view (to own what it shows) and the row; it returns the rows to show afterwards, none selected,
// or nothing to leave the table as it is.
struct ListAction {
  int id;
  std::wstring text;
  std::function<std::optional<ListRows>(HWND view, size_t row)> act;
};

// What one of the Tools menu's views shows: a line above (none when empty), a table, lines below
// it (none when empty), its buttons and "Close".
struct ListView {
  std::wstring title;
  std::wstring heading{};
  std::vector<ListColumn> columns{};
  ListRows rows{};
  std::wstring footer{};
  // Twips, the inside of the view; 0: wide enough for every column, as far as the screen allows.
  int width = 8400;
  std::vector<ListAction> actions{};
  // A click on a column's heading sorts by it (again: the other way round); this gives the rows
  // in the new order. Without it the headings are not buttons.
  std::function<ListRows(size_t column, bool descending)> sort{};
};

// Shows the view as a modal window owned by `owner` (which takes no input meanwhile) until the
// player closes it.
void ShowListView(HINSTANCE instance, HWND owner, const TwipScale& scale, const ListView& view);

}  // namespace tarnwick::winapp
