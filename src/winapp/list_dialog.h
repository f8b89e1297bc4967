#pragma once

#include <functional>
#include <string>
#include <vector>

#include "winapp/twips.h"
#include "winapp/win32.h"

namespace tarnwick::winapp {

struct ListColumn {
  std::wstring text;
  int width = 0;  // twips; 0 takes what the other columns leave
};

using ListRows = std::vector<std::vector<std::wstring>>;

// What one of the Tools menu's views shows: a line above, then a table, and "Close".
struct ListView {
  std::wstring title;
  std::wstring heading;
  std::vector<ListColumn> columns;
  ListRows rows{};
  int width = 8400;  // twips, the inside of the view
  // A button beside "Close" for the selected row, enabled while a row is selected; none when
  // `action` is empty. Pressing it calls `act` with the view (to own its boxes) and the row; the
  // table then shows the rows it returns, none selected.
  std::wstring action{};
  std::function<ListRows(HWND view, size_t row)> act{};
};

// Shows the view as a modal window owned by `owner` (which takes no input meanwhile) until the
// player closes it.
void ShowListView(HINSTANCE instance, HWND owner, const TwipScale& scale, const ListView& view);

}  // namespace tarnwick::winapp
