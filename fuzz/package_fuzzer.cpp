// The package reader over any bytes: valid or invalid, never a crash, and a package it calls
// valid holds exactly what the installer relies on.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "package/package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnwick;
  const std::string path = fuzz::WriteInput("fuzz.mpi", data, size);
  PackageHeader header;
  const PackageRead result = ReadPackage(path, header);
  TARNWICK_FUZZ_CHECK(result != PackageRead::kCannotOpen);
  if (result != PackageRead::kValid) return 0;
  TARNWICK_FUZZ_CHECK(header.magic == kMagic06 || header.magic == kMagic05);
  TARNWICK_FUZZ_CHECK(header.resourceCount >= 1);
  TARNWICK_FUZZ_CHECK(header.resources.size() == header.resourceCount);
  const size_t table_end = 14 + header.title.size() + header.readme.size() +
                           14 * static_cast<size_t>(header.resourceCount);
  TARNWICK_FUZZ_CHECK(table_end <= size);
  for (const ResourceEntry& row : header.resources) {
    const bool replacement_or_icon = row.typeCode == 5 || row.typeCode == 6;
    TARNWICK_FUZZ_CHECK(replacement_or_icon ||
                        (row.typeCode >= 1 && row.typeCode <= 3 && row.targetCode <= 4));
  }
  return 0;
}
