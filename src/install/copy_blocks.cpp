#include "install/install.h"

namespace tarnwick {

std::error_code CopyBlocks(InstallContext& context, BinaryFile& from, BinaryFile& to,
                           int64_t count) {
  const int64_t full_blocks = count / static_cast<int64_t>(kCopyBufferSize);
  const auto remainder = static_cast<size_t>(count % static_cast<int64_t>(kCopyBufferSize));
  unsigned char* buffer = context.buffer.data();
  for (int64_t block = 0; block < full_blocks; ++block) {
    if (auto error = from.Read(buffer, kCopyBufferSize)) return error;
    if (auto error = to.Write(buffer, kCopyBufferSize)) return error;
    *context.bytes_copied += static_cast<int64_t>(kCopyBufferSize);
    if (context.progress != nullptr) {
      context.progress->Update(context.resource_number, *context.bytes_copied);
    }
  }
  if (remainder > 0) {
    if (auto error = from.Read(buffer, remainder)) return error;
    if (auto error = to.Write(buffer, remainder)) return error;
    *context.bytes_copied += static_cast<int64_t>(remainder);
  }
  return {};
}

bool PayloadInPackage(const InstallContext& context) {
  const ResourceEntry& resource = context.resource;
  return resource.dataLength >= 0 && resource.dataOffset >= 0 &&
         static_cast<int64_t>(resource.dataOffset) + resource.dataLength <= context.package_length;
}

}  // namespace tarnwick
