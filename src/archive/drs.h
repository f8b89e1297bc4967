#pragma once

#include <array>
#include <cstdint>
#include <system_error>
#include <vector>

#include "common/one_based.h"
#include "platform/binary_file.h"
#include "platform/messages.h"

namespace tarnwick {

inline constexpr char kDrsSignature[] = "Copyright (c) 2001 LucasArts";  // 28 characters
inline constexpr int kDrsHeaderSize = 84;
inline constexpr int kDrsTableSize = 12;
inline constexpr int kDrsEntrySize = 12;

struct DrsHeader {
  std::array<char, 60> signature{};
  std::array<char, 4> version{};
  std::array<char, 12> fileType{};
  int32_t tableCount = 0;
  int32_t firstFileOffset = 0;
};

struct DrsTableInfo {
  std::array<char, 4> typeTag{};
  int32_t entriesOffset = 0;
  int32_t entryCount = 0;
};

struct DrsFileEntry {
  int32_t id = 0;
  int32_t offset = 0;
  int32_t size = 0;
  bool operator==(const DrsFileEntry&) const = default;
};

// One archive's directory: the entries of all tables concatenated in table order.
struct DrsDirectory {
  DrsHeader header;
  std::vector<DrsTableInfo> tables;
  OneBased<DrsFileEntry> entries;
  int32_t totalEntries = 0;
};

enum class DrsRead {
  kOk,
  kInvalid,  // "Error reading from DRS file!" has been shown
  kIoError,  // the file layer failed; *io_error says how
};

// The bytes a directory is read from: an open archive, or an archive as it stood before later
// writes (see install/game_before.h).
class ArchiveBytes {
 public:
  virtual ~ArchiveBytes() = default;
  [[nodiscard]] virtual std::error_code Length(int64_t* length) = 0;
  // Exactly `count` bytes from `position`, or a failure.
  [[nodiscard]] virtual std::error_code ReadAt(int64_t position, void* buffer, size_t count) = 0;
};

// Reads the directory of an archive at absolute positions. A directory that fails the format's
// checks, or that runs past the end of the file, is invalid.
[[nodiscard]] DrsRead ReadDrsDirectory(ArchiveBytes& archive, DrsDirectory& directory,
                                       Messages& messages, std::error_code* io_error);
[[nodiscard]] DrsRead ReadDrsDirectory(BinaryFile& archive, DrsDirectory& directory,
                                       Messages& messages, std::error_code* io_error);

// File position of entries[number] (1-based, as in `entries`): its table's entriesOffset plus 12
// times its index in the table; -1 when there is no such entry.
[[nodiscard]] int64_t EntryPosition(const DrsDirectory& directory, int32_t number);

}  // namespace tarnwick
