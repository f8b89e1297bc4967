#pragma once

#include "manage/change_table.h"
#include "winapp/list_dialog.h"

namespace tarnwick::winapp {

// "What it changes…": a change table of the manage room as a view, one line per change, sortable
// by any column; a change over an installed mod's bytes, one that writes what is already there, a
// refused row and an overridden change each have their own shade, and the totals stand below.
[[nodiscard]] ListView ChangesView(ChangeTable table);

}  // namespace tarnwick::winapp
