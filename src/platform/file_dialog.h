#pragma once

#include <string>
#include <utility>

namespace tarnwick {

struct OpenFileRequest {
  std::string initial_folder;  // a program path, mapped to the host by the dialog
  std::string title;
  std::string filter_name;     // "Mod Project Installation files (*.mpi)"
  std::string filter_pattern;  // "*.MPI", matched in any letter case
  // The file buffer in characters (UTF-16 units) with its terminating zero; the caller refuses a
  // choice that does not fit it, as a cancel.
  size_t max_path = 256;
};

// The dialog that chooses a package (.mpi), as "Open mod" shows it.
inline OpenFileRequest PackageFileRequest(std::string initial_folder, std::string title) {
  OpenFileRequest request;
  request.initial_folder = std::move(initial_folder);
  request.title = std::move(title);
  request.filter_name = "Mod Project Installation files (*.mpi)";
  request.filter_pattern = "*.MPI";
  request.max_path = 256;
  return request;
}

class FileDialog {
 public:
  virtual ~FileDialog() = default;
  // True with the chosen file (a program path in UTF-8, see ProgramPathFromHost) when the user
  // chose an existing file in an existing folder; false on cancel.
  virtual bool GetOpenFileName(const OpenFileRequest& request, std::string* chosen) = 0;
};

}  // namespace tarnwick
