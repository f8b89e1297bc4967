#include <cstring>

#include "package/package.h"
#include "platform/binary_file.h"

namespace tarnwick {
namespace {

constexpr int kRowSize = 14;

bool ValidRow(const ResourceEntry& row) {
  if (row.typeCode == 5 || row.typeCode == 6) return true;
  return row.typeCode >= 1 && row.typeCode <= 3 && row.targetCode <= 4;
}

}  // namespace

PackageRead ReadPackage(const std::string& path, PackageHeader& header) {
  BinaryFile file;
  if (file.Open(path, OpenMode::kRead)) return PackageRead::kCannotOpen;

  // Every read is exact: a file that ends early fails its read and so is invalid.
  unsigned char fixed[14];
  if (file.Read(fixed, 8)) return PackageRead::kInvalid;
  header.magic.assign(reinterpret_cast<const char*>(fixed), 8);
  if (header.magic != kMagic06 && header.magic != kMagic05) return PackageRead::kInvalid;

  if (file.Read(fixed, 2)) return PackageRead::kInvalid;
  header.resourceCount = LoadI16(fixed);
  if (header.resourceCount < 1) return PackageRead::kInvalid;

  if (file.Read(fixed, 4)) return PackageRead::kInvalid;
  const int16_t title_length = LoadI16(fixed);
  const int16_t readme_length = LoadI16(fixed + 2);
  if (title_length < 0 || readme_length < 0) return PackageRead::kInvalid;
  header.title.assign(static_cast<size_t>(title_length), '\0');
  if (file.Read(header.title.data(), header.title.size())) return PackageRead::kInvalid;
  header.readme.assign(static_cast<size_t>(readme_length), '\0');
  if (file.Read(header.readme.data(), header.readme.size())) return PackageRead::kInvalid;

  header.resources.clear();
  header.resources.reserve(header.resourceCount);
  unsigned char row[kRowSize];
  for (int i = 1; i <= header.resourceCount; ++i) {
    if (file.Read(row, kRowSize)) return PackageRead::kInvalid;
    ResourceEntry entry;
    entry.typeCode = row[0] == 4 ? 1 : row[0];
    entry.targetCode = row[1];
    entry.resourceId = LoadI32(row + 2);
    entry.dataLength = LoadI32(row + 6);
    entry.dataOffset = LoadI32(row + 10);
    header.resources.push_back(entry);
    if (!ValidRow(entry)) return PackageRead::kInvalid;
  }
  return PackageRead::kValid;
}

}  // namespace tarnwick
