#pragma once

#include <string>

#include "common/game_files.h"
#include "modlog/mod_log.h"
#include "package/package.h"

namespace tarnwick {

// Everything the process keeps between commands; owned by the main window.
struct InstallerState {
  std::string GamePath;  // as the registry gives it, expected to end with a backslash
  std::string DataPath;  // GamePath + "data\"
  bool CCPresent = false;
  tarnwick::GameFiles GameFiles;
  std::string PackagePath;
  tarnwick::PackageHeader PackageHeader;
  tarnwick::ModLog ModLog;
};

}  // namespace tarnwick
