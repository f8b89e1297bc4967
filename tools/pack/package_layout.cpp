#include "package_layout.h"

#include <algorithm>
#include <filesystem>
#include <limits>

#include "install/install.h"
#include "mod_manifest.h"
#include "package/package.h"
#include "platform/binary_file.h"
#include "platform/file_system.h"

namespace tarnwick::pack {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int64_t kInt16Max = std::numeric_limits<int16_t>::max();

void PutI16(std::string& out, int64_t value) {
  const auto v = static_cast<uint16_t>(value);
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

void PutI32(std::string& out, int32_t value) {
  unsigned char raw[4];
  StoreI32(raw, value);
  out.append(reinterpret_cast<const char*>(raw), 4);
}

std::string Where(const std::string& manifest_path, SourcePlace place) {
  return manifest_path + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) +
         ": ";
}

// What goes where in a package being built: a row's payload (civMask first for split icon rows)
// or a fill block.
struct Placement {
  int64_t offset = 0;
  std::string prefix;
  std::string file;  // host path
  int64_t file_size = 0;
};

// The size of a payload file, or an error naming it.
bool PayloadSize(const fs::path& path, const std::string& where, int64_t* size,
                 std::vector<std::string>& errors) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || !fs::exists(status)) {
    errors.push_back(where + "no file " + path.string());
    return false;
  }
  if (!fs::is_regular_file(status)) {
    errors.push_back(where + path.string() + " is not an ordinary file");
    return false;
  }
  *size = static_cast<int64_t>(fs::file_size(path, error));
  if (error) {
    errors.push_back(where + "cannot read " + path.string() + ": " + error.message());
    return false;
  }
  return true;
}

struct Built {
  std::string head;  // header, title, readme and table
  std::vector<Placement> placements;
};

bool PlanPackage(const std::string& folder, const Manifest& manifest, Built& built,
                 std::vector<std::string>& errors) {
  const size_t errors_before = errors.size();
  const std::string manifest_path = (fs::path(folder) / kManifestName).string();
  const auto row_count = static_cast<int64_t>(manifest.rows.size());
  if (row_count > kInt16Max) {
    errors.push_back(manifest_path + ": " + std::to_string(row_count) +
                     " rows; a package holds at most 32767");
  }
  if (static_cast<int64_t>(manifest.title.size()) > kInt16Max) {
    errors.push_back(manifest_path + ": the title has " + std::to_string(manifest.title.size()) +
                     " characters; a package holds at most 32767");
  }
  std::string readme;
  if (!manifest.readme_file.empty()) {
    const fs::path path = fs::path(folder) / manifest.readme_file;
    const std::string where = Where(manifest_path, manifest.readme_place) + "readme: ";
    int64_t size = 0;
    if (PayloadSize(path, where, &size, errors)) {
      if (size > kInt16Max) {
        errors.push_back(where + path.string() + " has " + std::to_string(size) +
                         " bytes; a package holds at most 32767");
      } else {
        BinaryFile file;
        readme.resize(static_cast<size_t>(size));
        std::error_code error = file.Open(HostFilePath(path.string()), OpenMode::kRead);
        if (!error) error = file.Read(readme.data(), readme.size());
        if (error)
          errors.push_back(where + "cannot read " + path.string() + ": " + error.message());
      }
    }
  }
  if (errors.size() != errors_before) return false;

  std::string& head = built.head;
  head = manifest.magic;
  PutI16(head, row_count);
  PutI16(head, static_cast<int64_t>(manifest.title.size()));
  PutI16(head, static_cast<int64_t>(readme.size()));
  head += manifest.title;
  head += readme;
  const int64_t table_end = static_cast<int64_t>(head.size()) + kRowSize * row_count;

  // Rows without an offset lie back to back after the table, in row order.
  int64_t next = table_end;
  int number = 0;
  for (const ManifestRow& row : manifest.rows) {
    const std::string where =
        Where(manifest_path, row.place) + "row " + std::to_string(++number) + ": ";
    int64_t length = row.length.value_or(0);
    int64_t offset = row.offset.value_or(0);
    if (!row.file.empty()) {
      Placement placement;
      const fs::path path = fs::path(folder) / row.file;
      if (!PayloadSize(
              path, Where(manifest_path, row.file_place) + "row " + std::to_string(number) + ": ",
              &placement.file_size, errors)) {
        continue;
      }
      placement.file = HostFilePath(path.string());
      if (row.civ_mask) PutI32(placement.prefix, *row.civ_mask);
      length = static_cast<int64_t>(placement.prefix.size()) + placement.file_size;
      if (length > kInt32Max) {
        errors.push_back(where + "the payload has " + std::to_string(length) +
                         " bytes; a package row holds at most 2147483647");
        continue;
      }
      if (row.offset) {
        if (offset < table_end) {
          errors.push_back(where + "offset " + std::to_string(offset) +
                           " lies inside the header and table, which end at " +
                           std::to_string(table_end));
          continue;
        }
      } else {
        offset = next;
        next += length;
        if (offset > kInt32Max) {
          errors.push_back(where + "the payload would start at " + std::to_string(offset) +
                           ", beyond the 2147483647 bytes a package can address");
          continue;
        }
      }
      placement.offset = offset;
      built.placements.push_back(std::move(placement));
    }
    head += static_cast<char>(row.type_code);
    head += static_cast<char>(row.target_code);
    PutI32(head, row.resource_id);
    PutI32(head, static_cast<int32_t>(length));
    PutI32(head, static_cast<int32_t>(offset));
  }

  number = 0;
  for (const FillBlock& fill : manifest.fills) {
    const std::string where =
        Where(manifest_path, fill.place) + "fill " + std::to_string(++number) + ": ";
    Placement placement;
    const fs::path path = fs::path(folder) / fill.file;
    if (!PayloadSize(path, where, &placement.file_size, errors)) continue;
    placement.file = HostFilePath(path.string());
    placement.offset = fill.offset;
    if (fill.offset < table_end) {
      errors.push_back(where + "offset " + std::to_string(fill.offset) +
                       " lies inside the header and table, which end at " +
                       std::to_string(table_end));
      continue;
    }
    built.placements.push_back(std::move(placement));
  }
  return errors.size() == errors_before;
}

std::error_code WriteBuilt(const Built& built, BinaryFile& out) {
  std::vector<unsigned char> buffer(kCopyBufferSize);
  if (auto error = out.Write(built.head.data(), built.head.size())) return error;
  for (const Placement& placement : built.placements) {
    if (auto error =
            out.WriteAt(placement.offset, placement.prefix.data(), placement.prefix.size())) {
      return error;
    }
    BinaryFile payload;
    if (auto error = payload.Open(placement.file, OpenMode::kRead)) return error;
    if (auto error = CopyRange(payload, 0, out,
                               placement.offset + static_cast<int64_t>(placement.prefix.size()),
                               placement.file_size, buffer)) {
      return error;
    }
  }
  return {};
}

}  // namespace

std::error_code CopyRange(BinaryFile& from, int64_t from_at, BinaryFile& to, int64_t to_at,
                          int64_t count, std::vector<unsigned char>& buffer) {
  if (auto error = from.Seek(from_at)) return error;
  if (auto error = to.Seek(to_at)) return error;
  while (count > 0) {
    const auto block = static_cast<size_t>(std::min<int64_t>(count, int64_t(buffer.size())));
    if (auto error = from.Read(buffer.data(), block)) return error;
    if (auto error = to.Write(buffer.data(), block)) return error;
    count -= static_cast<int64_t>(block);
  }
  return {};
}

std::string HostFilePath(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

bool ReadStoredPackage(const std::string& path, StoredPackage& package, std::string& why) {
  BinaryFile file;
  if (auto error = file.Open(HostFilePath(path), OpenMode::kRead)) {
    why = "cannot read it: " + error.message();
    return false;
  }
  if (auto error = file.Length(&package.file_length)) {
    why = "cannot read it: " + error.message();
    return false;
  }
  unsigned char head[kHeaderSize];
  if (file.Read(head, sizeof head)) {
    why = "it ends inside its header";
    return false;
  }
  package.magic.assign(reinterpret_cast<const char*>(head), 8);
  const int16_t count = LoadI16(head + 8);
  const int16_t title_length = LoadI16(head + 10);
  const int16_t readme_length = LoadI16(head + 12);
  if (count < 0 || title_length < 0 || readme_length < 0) {
    why = "its header holds a negative count or length";
    return false;
  }
  package.title.assign(static_cast<size_t>(title_length), '\0');
  package.readme.assign(static_cast<size_t>(readme_length), '\0');
  if (file.Read(package.title.data(), package.title.size()) ||
      file.Read(package.readme.data(), package.readme.size())) {
    why = "it ends inside its title or readme";
    return false;
  }
  package.rows.clear();
  for (int i = 0; i < count; ++i) {
    unsigned char raw[kRowSize];
    if (file.Read(raw, sizeof raw)) {
      why = "it ends inside row " + std::to_string(i + 1) + " of its table";
      return false;
    }
    package.rows.push_back({raw[0], raw[1], LoadI32(raw + 2), LoadI32(raw + 6), LoadI32(raw + 10)});
  }
  package.table_end = file.position();
  return true;
}

bool BuildPackage(const std::string& folder, const std::string& output,
                  std::vector<std::string>& errors) {
  Manifest manifest;
  ReadManifest(folder, manifest, errors);
  if (!errors.empty()) return false;
  Built built;
  if (!PlanPackage(folder, manifest, built, errors)) return false;

  const std::string target = HostFilePath(output);
  const std::string temp = target + ".partial";
  (void)DeleteFile(temp);
  BinaryFile out;
  std::error_code error = out.Open(temp, OpenMode::kCreateExclusive);
  if (!error) error = WriteBuilt(built, out);
  if (!error) error = out.Sync();
  if (!error) error = out.Close();
  if (!error) error = ReplaceFileAtomically(temp, target);
  if (error) {
    (void)out.Close();
    (void)DeleteFile(temp);
    errors.push_back(output + ": cannot write the package: " + error.message());
    return false;
  }
  return true;
}

}  // namespace tarnwick::pack
