#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "platform/binary_file.h"

// A package's bytes as they lie in the file: header, title, readme, the 14-byte rows, and the
// payloads wherever the rows put them. Building writes them from a mod's folder, unpacking writes
// the folder back so that building it again gives the same bytes.
namespace tarnwick::pack {

// One row exactly as stored: a type code of 4 stays 4 here (the installer reads it as 1), so that
// it is written back as it was.
struct StoredRow {
  uint8_t type_code = 0;
  uint8_t target_code = 0;
  int32_t resource_id = 0;
  int32_t data_length = 0;
  int32_t data_offset = 0;
};

struct StoredPackage {
  std::string magic;
  std::string title;
  std::string readme;
  std::vector<StoredRow> rows;
  int64_t table_end = 0;    // where the payload area begins
  int64_t file_length = 0;  // the whole file
};

inline constexpr int kHeaderSize = 14;
inline constexpr int kRowSize = 14;

// Reads the header and the whole table as stored, without judging the rows (the installer's
// reader does that). False, with the reason in `why`, when the file cannot be read or ends
// inside its header or table, or its counts are negative.
[[nodiscard]] bool ReadStoredPackage(const std::string& path, StoredPackage& package,
                                     std::string& why);

// Builds the package of the mod in `folder` into `output`. Every problem goes to `errors`; when
// there is any, nothing is left at `output` (the package is written under a temporary name and
// renamed into place only at the end).
[[nodiscard]] bool BuildPackage(const std::string& folder, const std::string& output,
                                std::vector<std::string>& errors);

// Writes the folder of a valid package: its payload files and a mod.toml that builds the same
// bytes. `folder` must be missing or empty; it appears whole or not at all.
[[nodiscard]] bool UnpackPackage(const std::string& package, const std::string& folder,
                                 std::vector<std::string>& errors);

// The path of a file as the platform's file layer takes it: absolute, so that it is read as a
// path of this host.
std::string HostFilePath(const std::string& path);

// Moves `count` bytes from one file to another through `buffer`, block by block.
[[nodiscard]] std::error_code CopyRange(BinaryFile& from, int64_t from_at, BinaryFile& to,
                                        int64_t to_at, int64_t count,
                                        std::vector<unsigned char>& buffer);

}  // namespace tarnwick::pack
