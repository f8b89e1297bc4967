#include <algorithm>
#include <set>
#include <string>

#include "ledger/ledger.h"
#include "ledger/store_folder.h"
#include "ledger/stream_hash.h"
#include "platform/binary_file.h"
#include "platform/file_system.h"
#include "platform/kernel_copy.h"

namespace tarnwick {
namespace {

constexpr char kIncomingName[] = "incoming.mpi_";
constexpr char kPackageSuffix[] = ".mpi";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Copies `length` bytes piece by piece and hashes what the copy holds: read back from the copy
// (from the page cache, where the kernel's copy just put it) where the kernel copied, the buffer's
// bytes as they are written where it could not. The hash names the bytes kept, whatever happens
// to the package meanwhile.
std::error_code CopyHashing(BinaryFile& source, BinaryFile& copy, int64_t length,
                            std::vector<unsigned char>& buffer, StreamHash& stream) {
  bool kernel = true;
  for (int64_t at = 0; at < length;) {
    const int64_t piece = std::min(length - at, kKernelCopyPiece);
    int64_t moved = 0;
    if (kernel) {
      const std::error_code error = KernelCopy(source, copy, piece, &moved);
      if (error == std::errc::not_supported) {
        kernel = false;  // nothing moved; this piece and the rest go through the buffer
      } else if (error) {
        return error;
      }
      if (auto read_error = HashFileRange(copy, at, moved, buffer, stream)) return read_error;
    }
    for (int64_t done = moved; done < piece;) {
      const auto block = static_cast<size_t>(std::min<int64_t>(piece - done, buffer.size()));
      if (auto error = source.Read(buffer.data(), block)) return error;
      if (auto error = copy.Write(buffer.data(), block)) return error;
      stream.Update(buffer.data(), block);
      done += static_cast<int64_t>(block);
    }
    StartWriteOut(copy, at, piece);
    at += piece;
  }
  return {};
}

}  // namespace

std::error_code KeepPackage(const LedgerPaths& paths, const std::string& package_path,
                            std::vector<unsigned char>& buffer, std::string& hash) {
  if (buffer.size() < kHashBufferSize) buffer.resize(kHashBufferSize);
  if (auto error = CreateFolderDurably(paths.folder)) return error;
  if (auto error = CreateFolderDurably(paths.packages)) return error;
  BinaryFile source;
  if (auto error = source.Open(package_path, OpenMode::kRead)) return error;
  int64_t length = 0;
  if (auto error = source.Length(&length)) return error;
  const std::string incoming = paths.packages + kIncomingName;
  // A temporary left by a copy that was cut off is replaced, never followed or appended to.
  BinaryFile copy;
  if (auto error = CreateFileAnew(incoming, copy)) return error;
  StreamHash stream;
  std::error_code error = CopyHashing(source, copy, length, buffer, stream);
  // Closed before the rename: the package may be a kept copy itself, put back by a removal, and
  // Windows does not rename over a file that is open.
  (void)source.Close();
  if (!error) error = copy.Sync();
  if (const std::error_code close_error = copy.Close(); !error) error = close_error;
  // Renaming over an equal copy kept by an earlier install leaves the same bytes in place.
  if (!error) hash = stream.Hex();
  if (!error) error = ReplaceFileAtomically(incoming, KeptPackagePath(paths, hash));
  if (error) (void)DeleteFile(incoming);
  return error;
}

KeptPackage CheckKeptPackage(const LedgerPaths& paths, const std::string& hash, bool verify,
                             std::vector<unsigned char>& buffer) {
  const std::string path = KeptPackagePath(paths, hash);
  if (hash.empty() || !PathListed(path)) return KeptPackage::kMissing;
  if (!verify) return KeptPackage::kKept;
  std::string actual;
  int64_t length = 0;
  if (HashFile(path, buffer, actual, &length)) return KeptPackage::kMissing;
  return actual == hash ? KeptPackage::kKept : KeptPackage::kAltered;
}

void PruneKeptPackages(const LedgerPaths& paths, const Ledger& ledger) {
  std::set<std::string> used;
  for (const LedgerRecord& record : ledger.records) {
    if (!record.package.empty()) used.insert(record.package + kPackageSuffix);
  }
  for (const std::string& name : FilesInFolder(paths.packages)) {
    const bool ours = EndsWith(name, kPackageSuffix) || name == kIncomingName;
    if (ours && used.count(name) == 0) (void)DeleteFile(paths.packages + name);
  }
}

}  // namespace tarnwick
