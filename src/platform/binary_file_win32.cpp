#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cerrno>

#include "platform/binary_file.h"
#include "platform/failure.h"
#include "platform/host_path.h"

namespace tarnwick {
namespace {

std::error_code LastError() { return {static_cast<int>(::GetLastError()), std::system_category()}; }

// The same code as on POSIX: using a closed file is the program's fault, not the system's.
std::error_code NotOpen() { return {EBADF, std::generic_category()}; }

// ReadFile and WriteFile move at most a DWORD's worth at a time.
constexpr size_t kMaxChunk = 1u << 30;

OVERLAPPED At(int64_t position) {
  OVERLAPPED at = {};
  const auto offset = static_cast<uint64_t>(position);
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

}  // namespace

BinaryFile::~BinaryFile() {
  if (handle_ != nullptr) ::CloseHandle(handle_);
}

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : handle_(other.handle_), position_(other.position_) {
  other.handle_ = nullptr;
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) ::CloseHandle(handle_);
    handle_ = other.handle_;
    position_ = other.position_;
    other.handle_ = nullptr;
  }
  return *this;
}

std::error_code BinaryFile::Open(const std::string& path, OpenMode mode) {
  if (handle_ != nullptr) {
    ::CloseHandle(handle_);
    handle_ = nullptr;
  }
  position_ = 0;
  DWORD access = GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenMode::kRead:
      access = GENERIC_READ;
      break;
    case OpenMode::kReadWrite:
      break;
    case OpenMode::kCreate:
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::kCreateExclusive:
      disposition = CREATE_NEW;
      break;
  }
  const std::wstring host = WidePath(HostPath(path));
  // Our own handles share with each other; a program that opened the file without sharing (the
  // running game) still shuts us out with a sharing violation.
  HANDLE handle = ::CreateFileW(host.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const std::error_code error = LastError();
    // A folder refuses to open as a file with "access denied", which would tell the user to
    // close the game.
    const DWORD attributes = ::GetFileAttributesW(host.c_str());
    if (error.value() == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return std::error_code(EISDIR, std::generic_category());
    }
    return error;
  }
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return make_error_code(FileError::kNotOrdinaryFile);
  }
  handle_ = handle;
  return {};
}

bool BinaryFile::is_open() const { return handle_ != nullptr; }

std::error_code BinaryFile::ReadAt(int64_t position, void* buffer, size_t count) {
  if (handle_ == nullptr) return NotOpen();
  if (position < 0) return make_error_code(FileError::kOutOfRange);
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const size_t chunk = count - done < kMaxChunk ? count - done : kMaxChunk;
    OVERLAPPED at = At(position + static_cast<int64_t>(done));
    DWORD moved = 0;
    if (!::ReadFile(handle_, out + done, static_cast<DWORD>(chunk), &moved, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) return make_error_code(FileError::kShortRead);
      return LastError();
    }
    if (moved == 0) return make_error_code(FileError::kShortRead);
    done += moved;
  }
  position_ = position + static_cast<int64_t>(count);
  return {};
}

std::error_code BinaryFile::WriteAt(int64_t position, const void* buffer, size_t count) {
  if (handle_ == nullptr) return NotOpen();
  if (position < 0) return make_error_code(FileError::kOutOfRange);
  const auto* in = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const size_t chunk = count - done < kMaxChunk ? count - done : kMaxChunk;
    OVERLAPPED at = At(position + static_cast<int64_t>(done));
    DWORD moved = 0;
    if (!::WriteFile(handle_, in + done, static_cast<DWORD>(chunk), &moved, &at)) {
      return LastError();
    }
    // A write that moves nothing without failing would otherwise loop for ever.
    if (moved == 0) return {ERROR_DISK_FULL, std::system_category()};
    done += moved;
  }
  position_ = position + static_cast<int64_t>(count);
  return {};
}

std::error_code BinaryFile::Length(int64_t* length) const {
  if (handle_ == nullptr) return NotOpen();
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(handle_, &size)) return LastError();
  *length = size.QuadPart;
  return {};
}

std::error_code BinaryFile::Sync() {
  if (handle_ == nullptr) return NotOpen();
  if (!::FlushFileBuffers(handle_)) return LastError();
  return {};
}

std::error_code BinaryFile::Close() {
  if (handle_ == nullptr) return {};
  HANDLE handle = handle_;
  handle_ = nullptr;
  if (!::CloseHandle(handle)) return LastError();
  return {};
}

}  // namespace tarnwick
