#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A mod kept as a folder: `mod.toml` names the title, the readme file and the rows in install
// order, each with its payload file. This is the folder's model, read from and written to the
// TOML text; the package bytes are made from it by BuildPackage.
namespace tarnwick::pack {

inline constexpr char kManifestName[] = "mod.toml";

enum class RowKind { kResource, kReplace, kIcons };

// Where a value stood in mod.toml, for messages ("mod.toml:12:7: ...").
struct SourcePlace {
  int64_t line = 0;
  int64_t column = 0;
};

struct ManifestRow {
  RowKind kind = RowKind::kResource;
  uint8_t type_code = 1;  // 1 to 4 for a resource (all install alike), 5, 6
  uint8_t target_code = 0;
  int32_t resource_id = 0;
  std::string file;  // relative to the folder; empty when the row names no payload bytes
  // Icon rows: the civMask written before the file's frame; none when the file holds the whole
  // payload.
  std::optional<int32_t> civ_mask;
  // Layout of packages that were not laid out back to back: where the payload lies, and, for a
  // row without a file, how long the package says it is.
  std::optional<int32_t> offset;
  std::optional<int32_t> length;
  SourcePlace place;  // the row's [[row]] header
  SourcePlace file_place;
};

// Bytes of an unpacked package that no payload covers (gaps, trailing data).
struct FillBlock {
  int32_t offset = 0;
  std::string file;
  SourcePlace place;
};

struct Manifest {
  std::string magic = "MPI 0.6 ";
  std::string title;        // Windows-1252 bytes, as the package stores them
  std::string readme_file;  // relative to the folder; empty: no readme
  SourcePlace readme_place;
  std::vector<ManifestRow> rows;
  std::vector<FillBlock> fills;
};

// Reads `folder`/mod.toml. Every problem found goes to `errors` as "PATH:LINE:COLUMN: what was
// expected"; the manifest is usable only when none was added.
void ReadManifest(const std::string& folder, Manifest& manifest, std::vector<std::string>& errors);

// The TOML text of a manifest, as `unpack` writes it.
std::string ManifestText(const Manifest& manifest);

// The file name of a game file code in a row (archive number or replacement file code), or empty
// when the installer knows no file by that code.
std::string ArchiveName(uint8_t archive_number);
std::string ReplacementName(uint8_t file_code);

}  // namespace tarnwick::pack
