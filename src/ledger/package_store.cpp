#include <set>
#include <string>

#include "ledger/ledger.h"
#include "ledger/store_folder.h"
#include "ledger/stream_hash.h"
#include "platform/binary_file.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

constexpr char kIncomingName[] = "incoming.mpi_";
constexpr char kPackageSuffix[] = ".mpi";

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Copies and hashes in one pass, so the name always fits what was written.
std::error_code CopyHashing(const std::string& from, const std::string& to,
                            std::vector<unsigned char>& buffer, std::string& hash) {
  BinaryFile source;
  if (auto error = source.Open(from, OpenMode::kRead)) return error;
  int64_t length = 0;
  if (auto error = source.Length(&length)) return error;
  (void)DeleteFile(to);
  BinaryFile copy;
  if (auto error = copy.Open(to, OpenMode::kCreateExclusive)) return error;
  StreamHash stream;
  std::error_code error;
  for (int64_t at = 0; at < length && !error;) {
    const size_t block = static_cast<size_t>(
        length - at < static_cast<int64_t>(buffer.size()) ? length - at : buffer.size());
    error = source.ReadAt(at, buffer.data(), block);
    if (!error) error = copy.Write(buffer.data(), block);
    stream.Update(buffer.data(), block);
    at += static_cast<int64_t>(block);
  }
  if (!error) error = copy.Sync();
  if (const std::error_code close_error = copy.Close(); !error) error = close_error;
  if (!error) hash = stream.Hex();
  return error;
}

}  // namespace

std::error_code KeepPackage(const LedgerPaths& paths, const std::string& package_path,
                            std::vector<unsigned char>& buffer, std::string& hash) {
  if (auto error = CreateFolderDurably(paths.folder)) return error;
  if (auto error = CreateFolderDurably(paths.packages)) return error;
  const std::string incoming = paths.packages + kIncomingName;
  std::error_code error = CopyHashing(package_path, incoming, buffer, hash);
  // Renaming over an equal copy kept by an earlier install leaves the same bytes in place.
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
