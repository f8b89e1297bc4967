#pragma once

#include <string>
#include <vector>

// What the installer will do with a package, row by row, judged without a game at hand: where it
// refuses, where the edition matters, and what installs but is likely a mistake.
namespace tarnwick::pack {

struct CheckReport {
  std::vector<std::string> lines;  // the report as printed
  int errors = 0;                  // the installer refuses the package
  int warnings = 0;                // it installs, but probably not as meant
};

// Checks the package file at `path`; `shown` is the name the report gives it. When the package
// was built from a folder, `row_sources` names where each row stands in its mod.toml.
void CheckPackageFile(const std::string& path, const std::string& shown, CheckReport& report,
                      const std::vector<std::string>& row_sources = {});

}  // namespace tarnwick::pack
