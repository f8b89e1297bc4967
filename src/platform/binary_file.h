#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace tarnwick {

enum class OpenMode {
  kRead,             // existing file, read only
  kReadWrite,        // existing file, read and write, never truncated or created
  kCreate,           // created or truncated to nothing, read and write
  kCreateExclusive,  // created anew; fails if the name exists (a link included)
};

// A binary file addressed by byte position. Paths are the program's own (Windows form, or a host
// path); they are mapped to the host by HostPath. Every failure is an error code; a read or write
// that moves fewer bytes than asked for is a failure too.
class BinaryFile {
 public:
  BinaryFile() = default;
  ~BinaryFile();
  BinaryFile(BinaryFile&& other) noexcept;
  BinaryFile& operator=(BinaryFile&& other) noexcept;
  BinaryFile(const BinaryFile&) = delete;
  BinaryFile& operator=(const BinaryFile&) = delete;

  [[nodiscard]] std::error_code Open(const std::string& path, OpenMode mode);
  [[nodiscard]] bool is_open() const;

  // Sequential access from the current position, which each read or write advances.
  [[nodiscard]] std::error_code Seek(int64_t position);
  [[nodiscard]] int64_t position() const { return position_; }
  [[nodiscard]] std::error_code Read(void* buffer, size_t count);
  [[nodiscard]] std::error_code Write(const void* buffer, size_t count);

  // Positional access; leaves the file position after the bytes moved.
  [[nodiscard]] std::error_code ReadAt(int64_t position, void* buffer, size_t count);
  [[nodiscard]] std::error_code WriteAt(int64_t position, const void* buffer, size_t count);

  [[nodiscard]] std::error_code Length(int64_t* length) const;
  [[nodiscard]] std::error_code Sync();
  // Closing reports what the system reports (a delayed write error, for one).
  [[nodiscard]] std::error_code Close();

 private:
  friend std::error_code KernelCopy(BinaryFile& from, BinaryFile& to, int64_t count,
                                    int64_t* moved);
  friend void StartWriteOut(BinaryFile& file, int64_t position, int64_t count);
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  int64_t position_ = 0;
};

// Little-endian integers as the game's formats store them.
inline int32_t LoadI32(const unsigned char* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}
inline int16_t LoadI16(const unsigned char* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}
inline void StoreI32(unsigned char* p, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace tarnwick
