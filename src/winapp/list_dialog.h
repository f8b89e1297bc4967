#pragma once

#include <string>
#include <vector>

#include "winapp/twips.h"
#include "winapp/win32.h"

namespace tarnwick::winapp {

// What one of the Tools menu's views shows: a line above, then a table.
struct ListView {
  std::wstring title;
  std::wstring heading;
  std::vector<std::wstring> columns;
  std::vector<std::vector<std::wstring>> rows;
};

// Shows the view as a modal window owned by `owner` (which takes no input meanwhile) until the
// player closes it.
void ShowListView(HINSTANCE instance, HWND owner, const TwipScale& scale, const ListView& view);

}  // namespace tarnwick::winapp
