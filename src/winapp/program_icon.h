#pragma once

#include "winapp/win32.h"

namespace tarnwick::winapp {

// The program's icon at `size` pixels square (32 for the window, the small one for its caption):
// a crate with a pale arrow dropping into it on the windows' navy, drawn rather than shipped.
HICON MakeProgramIcon(int size);

// Arial (or the nearest the system has) at a point size; Fixedsys for the readme.
HFONT MakeArialFont(int height, bool bold);
HFONT MakeFixedsysFont(int height);

}  // namespace tarnwick::winapp
