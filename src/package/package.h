#pragma once

#include <cstdint>
#include <string>

#include "common/one_based.h"

namespace tarnwick {

struct ResourceEntry {
  uint8_t typeCode = 0;
  uint8_t targetCode = 0;
  int32_t resourceId = 0;
  int32_t dataLength = 0;
  int32_t dataOffset = 0;
  bool operator==(const ResourceEntry&) const = default;
};

// The chosen package's header and resource table. Text is kept as the package stores it
// (single-byte game text).
struct PackageHeader {
  std::string magic;
  int16_t resourceCount = 0;
  std::string title;
  std::string readme;
  OneBased<ResourceEntry> resources;
};

enum class PackageRead { kValid, kCannotOpen, kInvalid };

// Reads and checks the header and table. An invalid package leaves `header` as far as it was
// read. A file that ends inside its header or table, or negative text lengths, are invalid.
[[nodiscard]] PackageRead ReadPackage(const std::string& path, PackageHeader& header);

inline constexpr char kMagic05[] = "MPI 0.5 ";
inline constexpr char kMagic06[] = "MPI 0.6 ";

}  // namespace tarnwick
