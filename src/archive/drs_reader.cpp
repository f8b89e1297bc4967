#include <cstring>
#include <limits>
#include <vector>

#include "archive/drs.h"

namespace tarnwick {
namespace {

constexpr int kSignatureLength = 28;
constexpr char kDrsReadError[] = "Error reading from DRS file!";

DrsRead Invalid(Messages& messages) {
  messages.Error(kDrsReadError);
  return DrsRead::kInvalid;
}

DrsRead IoFailure(std::error_code error, std::error_code* io_error) {
  if (io_error != nullptr) *io_error = error;
  return DrsRead::kIoError;
}

class FileBytes : public ArchiveBytes {
 public:
  explicit FileBytes(BinaryFile& file) : file_(file) {}
  std::error_code Length(int64_t* length) override { return file_.Length(length); }
  std::error_code ReadAt(int64_t position, void* buffer, size_t count) override {
    return file_.ReadAt(position, buffer, count);
  }

 private:
  BinaryFile& file_;
};

}  // namespace

DrsRead ReadDrsDirectory(BinaryFile& archive, DrsDirectory& directory, Messages& messages,
                         std::error_code* io_error) {
  FileBytes bytes(archive);
  return ReadDrsDirectory(bytes, directory, messages, io_error);
}

DrsRead ReadDrsDirectory(ArchiveBytes& archive, DrsDirectory& directory, Messages& messages,
                         std::error_code* io_error) {
  directory = DrsDirectory{};

  // Everything the directory claims is measured against the real length before it is read or
  // allocated, so a truncated or hostile archive fails as a bad directory, not as a huge read.
  int64_t length = 0;
  if (auto error = archive.Length(&length)) return IoFailure(error, io_error);

  if (length < kSignatureLength) return Invalid(messages);
  // One read serves the signature check and the header.
  unsigned char header[kDrsHeaderSize];
  const size_t head = length < kDrsHeaderSize ? kSignatureLength : kDrsHeaderSize;
  if (auto error = archive.ReadAt(0, header, head)) return IoFailure(error, io_error);
  if (std::memcmp(header, kDrsSignature, kSignatureLength) != 0) return Invalid(messages);
  if (head < kDrsHeaderSize) return Invalid(messages);
  DrsHeader& h = directory.header;
  std::memcpy(h.signature.data(), header, h.signature.size());
  std::memcpy(h.version.data(), header + 60, h.version.size());
  std::memcpy(h.fileType.data(), header + 64, h.fileType.size());
  h.tableCount = LoadI32(header + 76);
  h.firstFileOffset = LoadI32(header + 80);
  if (h.tableCount < 1) return Invalid(messages);
  if (h.tableCount > (length - kDrsHeaderSize) / kDrsTableSize) return Invalid(messages);

  std::vector<unsigned char> rows(static_cast<size_t>(h.tableCount) * kDrsTableSize);
  if (auto error = archive.ReadAt(kDrsHeaderSize, rows.data(), rows.size())) {
    return IoFailure(error, io_error);
  }
  directory.tables.reserve(static_cast<size_t>(h.tableCount));
  int64_t total = 0;
  for (int32_t t = 0; t < h.tableCount; ++t) {
    const unsigned char* row = rows.data() + static_cast<size_t>(t) * kDrsTableSize;
    DrsTableInfo table;
    std::memcpy(table.typeTag.data(), row, table.typeTag.size());
    table.entriesOffset = LoadI32(row + 4);
    table.entryCount = LoadI32(row + 8);
    if (table.entryCount < 0) return Invalid(messages);
    if (table.entryCount > 0) {
      // Entry positions go into the log as 32-bit values, so the run must end within that range.
      const int64_t run_end =
          static_cast<int64_t>(table.entriesOffset) + int64_t{kDrsEntrySize} * table.entryCount;
      if (table.entriesOffset < 0 || run_end > length ||
          run_end > std::numeric_limits<int32_t>::max()) {
        return Invalid(messages);
      }
    }
    total += table.entryCount;
    directory.tables.push_back(table);
  }
  // Runs may overlap; bounding the sum as well keeps tables that all point at one run from
  // multiplying the file into an allocation far beyond its size.
  if (total < 1 || total > length / kDrsEntrySize || total > std::numeric_limits<int32_t>::max()) {
    return Invalid(messages);
  }

  directory.entries.reserve(static_cast<int32_t>(total));
  std::vector<unsigned char> run;
  for (const DrsTableInfo& table : directory.tables) {
    if (table.entryCount == 0) continue;
    run.resize(static_cast<size_t>(table.entryCount) * kDrsEntrySize);
    if (auto error = archive.ReadAt(table.entriesOffset, run.data(), run.size())) {
      return IoFailure(error, io_error);
    }
    for (size_t at = 0; at < run.size(); at += kDrsEntrySize) {
      directory.entries.push_back(
          {LoadI32(&run[at]), LoadI32(&run[at + 4]), LoadI32(&run[at + 8])});
    }
  }
  directory.totalEntries = static_cast<int32_t>(total);
  return DrsRead::kOk;
}

}  // namespace tarnwick
