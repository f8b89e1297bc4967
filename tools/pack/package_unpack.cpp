#include <algorithm>
#include <filesystem>
#include <string_view>

#include "install/install.h"
#include "mod_manifest.h"
#include "package/package.h"
#include "package_layout.h"

namespace tarnwick::pack {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kCivMaskSize = 4;

// Whether the payloads lie back to back after the table in row order and nothing follows them:
// the layout `build` gives a folder whose rows name no offsets.
bool BackToBack(const StoredPackage& package) {
  int64_t next = package.table_end;
  for (const StoredRow& row : package.rows) {
    if (row.data_length < 0 || row.data_offset != next) return false;
    next += row.data_length;
  }
  return next == package.file_length;
}

bool InsideFile(const StoredPackage& package, const StoredRow& row) {
  return row.data_length >= 0 && row.data_offset >= package.table_end &&
         int64_t{row.data_offset} + row.data_length <= package.file_length;
}

// What a resource's first bytes say it is: the game's sprites and sounds open in other tools
// by their extension.
std::string Extension(std::string_view start) {
  if (start == "2.0N") return ".slp";
  if (start == "RIFF") return ".wav";
  return ".bin";
}

std::string RowFileName(const StoredRow& row, int number, int width, std::string_view start) {
  std::string name = std::to_string(number);
  name.insert(0, static_cast<size_t>(std::max(0, width - static_cast<int>(name.size()))), '0');
  switch (row.type_code) {
    case 5: {
      const std::string file = ReplacementName(row.target_code);
      return name + "-" + (file.empty() ? "file" + std::to_string(row.target_code) : file);
    }
    case 6:
      return name + "-icons-frame" + std::to_string(row.resource_id) + ".bin";
    default: {
      std::string archive = ArchiveName(row.target_code);
      archive = archive.empty() ? "archive" + std::to_string(row.target_code)
                                : archive.substr(0, archive.find('.'));
      return name + "-" + archive + "-" + std::to_string(row.resource_id) + Extension(start);
    }
  }
}

class Unpacker {
 public:
  Unpacker(const StoredPackage& stored, BinaryFile& package, fs::path folder)
      : stored_(stored), package_(package), folder_(std::move(folder)) {}

  std::error_code Run();

 private:
  std::error_code WriteFile(const std::string& name, int64_t from, int64_t count);
  std::error_code WriteBytes(const std::string& name, const std::string& bytes);

  const StoredPackage& stored_;
  BinaryFile& package_;
  const fs::path folder_;
  std::vector<unsigned char> buffer_ = std::vector<unsigned char>(kCopyBufferSize);
};

std::error_code Unpacker::WriteFile(const std::string& name, int64_t from, int64_t count) {
  BinaryFile out;
  if (auto error = out.Open(HostFilePath((folder_ / name).string()), OpenMode::kCreateExclusive)) {
    return error;
  }
  if (auto error = CopyRange(package_, from, out, 0, count, buffer_)) return error;
  return out.Close();
}

std::error_code Unpacker::WriteBytes(const std::string& name, const std::string& bytes) {
  BinaryFile out;
  if (auto error = out.Open(HostFilePath((folder_ / name).string()), OpenMode::kCreateExclusive)) {
    return error;
  }
  if (auto error = out.Write(bytes.data(), bytes.size())) return error;
  return out.Close();
}

std::error_code Unpacker::Run() {
  Manifest manifest;
  manifest.magic = stored_.magic;
  manifest.title = stored_.title;
  if (!stored_.readme.empty()) {
    manifest.readme_file = "readme.txt";
    if (auto error = WriteBytes(manifest.readme_file, stored_.readme)) return error;
  }

  const bool back_to_back = BackToBack(stored_);
  const int width = std::max<int>(2, static_cast<int>(std::to_string(stored_.rows.size()).size()));
  // Stretches of the payload area that some row's file holds.
  std::vector<std::pair<int64_t, int64_t>> covered;
  int number = 0;
  for (const StoredRow& stored : stored_.rows) {
    ManifestRow row;
    row.kind = stored.type_code == 5   ? RowKind::kReplace
               : stored.type_code == 6 ? RowKind::kIcons
                                       : RowKind::kResource;
    row.type_code = stored.type_code;
    row.target_code = stored.target_code;
    row.resource_id = stored.resource_id;
    ++number;
    if (!InsideFile(stored_, stored)) {
      // The installer would refuse it, but the package reads as valid: keep the numbers.
      row.offset = stored.data_offset;
      row.length = stored.data_length;
      manifest.rows.push_back(std::move(row));
      continue;
    }
    int64_t from = stored.data_offset;
    int64_t count = stored.data_length;
    if (row.kind == RowKind::kIcons && count >= kCivMaskSize) {
      unsigned char raw[kCivMaskSize];
      if (auto error = package_.ReadAt(from, raw, sizeof raw)) return error;
      row.civ_mask = LoadI32(raw);
      from += kCivMaskSize;
      count -= kCivMaskSize;
    }
    char start[4] = {};
    if (count >= 4 && row.kind == RowKind::kResource) {
      if (auto error = package_.ReadAt(from, start, sizeof start)) return error;
    }
    row.file = RowFileName(stored, number, width, std::string_view(start, sizeof start));
    if (auto error = WriteFile(row.file, from, count)) return error;
    if (!back_to_back) {
      row.offset = stored.data_offset;
      covered.emplace_back(stored.data_offset, int64_t{stored.data_offset} + stored.data_length);
    }
    manifest.rows.push_back(std::move(row));
  }

  if (!back_to_back) {
    std::sort(covered.begin(), covered.end());
    int64_t at = stored_.table_end;
    const auto fill = [&](int64_t end) -> std::error_code {
      if (end <= at) return {};
      FillBlock block;
      block.offset = static_cast<int32_t>(at);
      block.file = "fill-" + std::to_string(at) + ".bin";
      if (auto error = WriteFile(block.file, at, end - at)) return error;
      manifest.fills.push_back(std::move(block));
      return {};
    };
    for (const auto& [begin, end] : covered) {
      if (auto error = fill(begin)) return error;
      at = std::max(at, end);
    }
    if (auto error = fill(stored_.file_length)) return error;
  }
  return WriteBytes(kManifestName, ManifestText(manifest));
}

}  // namespace

bool UnpackPackage(const std::string& package_path, const std::string& folder,
                   std::vector<std::string>& errors) {
  StoredPackage stored;
  std::string why;
  if (!ReadStoredPackage(package_path, stored, why)) {
    errors.push_back(package_path + ": " + why);
    return false;
  }
  // A package the installer refuses is still unpacked when mod.toml can say it, so that it can be
  // mended; only what no folder could build is turned away.
  if (stored.magic != kMagic06 && stored.magic != kMagic05) {
    errors.push_back(package_path +
                     ": not a package: it starts with neither \"MPI 0.6 \" nor "
                     "\"MPI 0.5 \"");
    return false;
  }
  if (stored.rows.empty()) {
    errors.push_back(package_path + ": its table has no rows");
    return false;
  }
  for (size_t i = 0; i < stored.rows.size(); ++i) {
    const uint8_t type = stored.rows[i].type_code;
    if (type < 1 || type > 6) {
      errors.push_back(package_path + ": row " + std::to_string(i + 1) + " has type code " +
                       std::to_string(type) + ", which no installer knows");
      return false;
    }
  }

  std::error_code error;
  fs::path target = fs::absolute(folder, error).lexically_normal();
  if (!target.has_filename()) target = target.parent_path();  // "out/" names the folder out
  if (fs::exists(target, error) &&
      !(fs::is_directory(target, error) && fs::is_empty(target, error))) {
    errors.push_back(folder + ": already holds files; unpack into a new folder");
    return false;
  }
  // Written beside the target and renamed at the end, so the folder appears whole or not at all.
  fs::path temp = target;
  temp += ".unpacking";
  if (fs::exists(temp, error)) {
    errors.push_back(temp.string() + ": left from an earlier unpack; remove it first");
    return false;
  }
  BinaryFile package;
  error = package.Open(HostFilePath(package_path), OpenMode::kRead);
  if (!error) fs::create_directories(temp, error);
  if (!error) error = Unpacker(stored, package, temp).Run();
  if (!error) {
    fs::remove(target, error);  // an empty folder, or nothing
    error.clear();
    fs::rename(temp, target, error);
  }
  if (error) {
    std::error_code ignored;
    fs::remove_all(temp, ignored);
    errors.push_back(folder + ": cannot write the mod's folder: " + error.message());
    return false;
  }
  return true;
}

}  // namespace tarnwick::pack
