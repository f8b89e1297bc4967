#include <cerrno>
#include <vector>

#include "platform/binary_file.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"

namespace tarnwick {

std::error_code CopyFileOver(const std::string& from, const std::string& to) {
  BinaryFile source;
  BinaryFile target;
  if (auto error = source.Open(from, OpenMode::kRead)) return error;
  if (IsSameFile(from, to)) return std::error_code(EINVAL, std::generic_category());
  if (auto error = target.Open(to, OpenMode::kCreate)) return error;
  int64_t remaining = 0;
  if (auto error = source.Length(&remaining)) return error;
  constexpr size_t kBlock = 64000;
  std::vector<unsigned char> buffer(kBlock);
  while (remaining > 0) {
    const size_t block =
        remaining < static_cast<int64_t>(kBlock) ? static_cast<size_t>(remaining) : kBlock;
    if (auto error = source.Read(buffer.data(), block)) return error;
    if (auto error = target.Write(buffer.data(), block)) return error;
    remaining -= static_cast<int64_t>(block);
  }
  if (auto error = target.Sync()) return error;
  return target.Close();
}

}  // namespace tarnwick
