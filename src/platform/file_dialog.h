#pragma once

#include <string>

namespace tarnwick {

struct OpenFileRequest {
  std::string initial_folder;  // a program path, mapped to the host by the dialog
  std::string title;
  std::string filter_name;     // "Mod Project Installation files (*.mpi)"
  std::string filter_pattern;  // "*.MPI", matched in any letter case
  size_t max_path = 256;       // longer choices count as a cancel
};

class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // True with the chosen file (a program path, see ProgramPathFromHost) when the user chose an
  // existing file in an existing folder; false on cancel or a path longer than max_path.
  virtual bool GetOpenFileName(const OpenFileRequest& request, std::string* chosen) = 0;
};

}  // namespace tarnwick
