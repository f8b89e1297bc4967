#pragma once

#include <system_error>

namespace tarnwick {

// What the user is told about a failed file operation.
enum class FailureClass { kPermissionDenied, kDiskFull, kOther };

[[nodiscard]] FailureClass ClassifyFailure(std::error_code error);

// Failures that the operating system has no code for.
enum class FileError {
  kShortRead = 1,    // the file ended before the bytes asked for
  kGameRunning,      // the game holds its files (found as a running process)
  kNotOrdinaryFile,  // a folder, device or socket where a file was expected
  kOutOfRange,       // a position or length beyond what the format allows
};

const std::error_category& FileErrorCategory();
std::error_code make_error_code(FileError e);

}  // namespace tarnwick

template <>
struct std::is_error_code_enum<tarnwick::FileError> : std::true_type {};
