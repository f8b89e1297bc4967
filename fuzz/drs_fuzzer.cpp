// The archive directory reader over any bytes: a directory it accepts lies wholly inside the
// file, with every entry position one the log can record.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "archive/drs.h"
#include "fuzz_support.h"
#include "platform/binary_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnwick;
  const std::string path = fuzz::WriteInput("fuzz.drs", data, size);
  BinaryFile archive;
  TARNWICK_FUZZ_CHECK(!archive.Open(path, OpenMode::kRead));
  DrsDirectory directory;
  fuzz::QuietMessages messages;
  std::error_code io_error;
  const DrsRead result = ReadDrsDirectory(archive, directory, messages, &io_error);
  TARNWICK_FUZZ_CHECK(result != DrsRead::kIoError);
  // The one message belongs to an invalid directory, and only to it.
  TARNWICK_FUZZ_CHECK(messages.texts.size() == (result == DrsRead::kInvalid ? 1u : 0u));
  if (result != DrsRead::kOk) return 0;
  TARNWICK_FUZZ_CHECK(directory.totalEntries == directory.entries.size());
  TARNWICK_FUZZ_CHECK(directory.tables.size() == static_cast<size_t>(directory.header.tableCount));
  // The first entries and the last: every one would make large directories quadratic.
  for (int32_t number = 1; number <= directory.totalEntries; ++number) {
    if (number > 256) number = directory.totalEntries;
    const int64_t position = EntryPosition(directory, number);
    TARNWICK_FUZZ_CHECK(position >= 0);
    TARNWICK_FUZZ_CHECK(position + kDrsEntrySize <= static_cast<int64_t>(size));
    TARNWICK_FUZZ_CHECK(position <= std::numeric_limits<int32_t>::max());
  }
  TARNWICK_FUZZ_CHECK(EntryPosition(directory, directory.totalEntries + 1) == -1);
  TARNWICK_FUZZ_CHECK(EntryPosition(directory, 0) == -1);
  return 0;
}
