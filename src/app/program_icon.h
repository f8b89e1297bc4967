#pragma once

#include <QIcon>

namespace tarnwick {

// The program's 32 x 32 icon, drawn here rather than shipped as a file.
QIcon ProgramIcon();

}  // namespace tarnwick
