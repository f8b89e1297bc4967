#include "platform/failure.h"

#include <cerrno>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tarnwick {
namespace {

class FileErrorCategoryImpl : public std::error_category {
 public:
  const char* name() const noexcept override { return "tarnwick.file"; }
  std::string message(int value) const override {
    switch (static_cast<FileError>(value)) {
      case FileError::kShortRead:
        return "unexpected end of file";
      case FileError::kGameRunning:
        return "the game is running";
      case FileError::kNotOrdinaryFile:
        return "not an ordinary file";
      case FileError::kOutOfRange:
        return "position out of range";
    }
    return "unknown file error";
  }
};

}  // namespace

const std::error_category& FileErrorCategory() {
  static const FileErrorCategoryImpl category;
  return category;
}

std::error_code make_error_code(FileError e) { return {static_cast<int>(e), FileErrorCategory()}; }

FailureClass ClassifyFailure(std::error_code error) {
  if (!error) return FailureClass::kOther;
  if (error.category() == FileErrorCategory()) {
    return error == FileError::kGameRunning ? FailureClass::kPermissionDenied
                                            : FailureClass::kOther;
  }
#ifdef _WIN32
  if (error.category() == std::system_category()) {
    switch (error.value()) {
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
      case ERROR_LOCK_VIOLATION:
      case ERROR_WRITE_PROTECT:
        return FailureClass::kPermissionDenied;
      case ERROR_DISK_FULL:
      case ERROR_HANDLE_DISK_FULL:
        return FailureClass::kDiskFull;
      default:
        return FailureClass::kOther;
    }
  }
#endif
  if (error.category() == std::generic_category() || error.category() == std::system_category()) {
    switch (error.value()) {
      case EACCES:
      case EPERM:
      case EROFS:
      case ETXTBSY:
      case EBUSY:
        return FailureClass::kPermissionDenied;
      case ENOSPC:
#ifdef EDQUOT
      case EDQUOT:
#endif
      case EFBIG:
        return FailureClass::kDiskFull;
      default:
        return FailureClass::kOther;
    }
  }
  return FailureClass::kOther;
}

}  // namespace tarnwick
