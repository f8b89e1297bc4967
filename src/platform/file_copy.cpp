// The durable writers of whole files, written once for both systems over BinaryFile.
#include <cerrno>
#include <vector>

#include "platform/binary_file.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"

namespace tarnwick {
namespace {

constexpr size_t kBlock = 64000;

[[nodiscard]] std::error_code CopyContent(BinaryFile& source, BinaryFile& target,
                                          Durability durability) {
  int64_t remaining = 0;
  if (auto error = source.Length(&remaining)) return error;
  std::vector<unsigned char> buffer(kBlock);
  while (remaining > 0) {
    const size_t block =
        remaining < static_cast<int64_t>(kBlock) ? static_cast<size_t>(remaining) : kBlock;
    if (auto error = source.Read(buffer.data(), block)) return error;
    if (auto error = target.Write(buffer.data(), block)) return error;
    remaining -= static_cast<int64_t>(block);
  }
  if (durability == Durability::kSynced) {
    if (auto error = target.Sync()) return error;
  }
  return target.Close();
}

}  // namespace

std::error_code CopyFileOver(const std::string& from, const std::string& to,
                             Durability durability) {
  BinaryFile source;
  BinaryFile target;
  if (auto error = source.Open(from, OpenMode::kRead)) return error;
  if (IsSameFile(from, to)) return std::error_code(EINVAL, std::generic_category());
  if (auto error = target.Open(to, OpenMode::kCreate)) return error;
  return CopyContent(source, target, durability);
}

std::error_code CreateFileAnew(const std::string& path, BinaryFile& file) {
  // A failed delete (a folder, say) shows in the exclusive create that follows.
  if (NameTaken(path)) (void)DeleteFile(path);
  return file.Open(path, OpenMode::kCreateExclusive);
}

std::error_code CopyToNewFile(const std::string& from, const std::string& to) {
  BinaryFile source;
  BinaryFile target;
  if (auto error = source.Open(from, OpenMode::kRead)) return error;
  if (auto error = CreateFileAnew(to, target)) return error;
  std::error_code error = CopyContent(source, target, Durability::kSynced);
  if (!error) error = SyncFolderOf(to);
  if (error) {
    (void)target.Close();
    (void)DeleteFile(to);
  }
  return error;
}

std::error_code WriteFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string temp_path = path + "_";
  BinaryFile temp;
  if (auto error = CreateFileAnew(temp_path, temp)) return error;
  std::error_code error = temp.Write(bytes.data(), bytes.size());
  if (!error) error = temp.Sync();
  if (const std::error_code close_error = temp.Close(); !error) error = close_error;
  if (!error) error = ReplaceFileAtomically(temp_path, path);
  if (error) (void)DeleteFile(temp_path);
  return error;
}

}  // namespace tarnwick
