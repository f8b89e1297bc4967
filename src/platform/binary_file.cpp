// The sequential calls of both systems: the position is ours, each read or write is positional.
#include "platform/binary_file.h"

#include "platform/failure.h"

namespace tarnwick {

std::error_code BinaryFile::Seek(int64_t position) {
  if (position < 0) return make_error_code(FileError::kOutOfRange);
  position_ = position;
  return {};
}

std::error_code BinaryFile::Read(void* buffer, size_t count) {
  return ReadAt(position_, buffer, count);
}

std::error_code BinaryFile::Write(const void* buffer, size_t count) {
  return WriteAt(position_, buffer, count);
}

}  // namespace tarnwick
