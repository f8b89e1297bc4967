#include <algorithm>

#include "install/install.h"
#include "platform/failure.h"
#include "platform/kernel_copy.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

void Report(InstallContext& context, int64_t moved) {
  *context.bytes_copied += moved;
  if (context.progress != nullptr) {
    context.progress->Update(context.resource_number, *context.bytes_copied);
  }
}

// A payload of more than one piece that the install will sync has each piece's writing to the
// disk started as soon as it is copied, so that the copy and the disk work side by side. Smaller
// ones are left whole to the sync, which writes them together with their neighbours.
void WriteOut(bool write_out, BinaryFile& to, int64_t bytes) {
  if (write_out) StartWriteOut(to, to.position() - bytes, bytes);
}

// Moves what the kernel will of `*count`, reporting each piece; `*count` keeps what is left for
// the buffer (all of it where the kernel cannot copy between these two files).
std::error_code KernelCopyChunks(InstallContext& context, BinaryFile& from, BinaryFile& to,
                                 int64_t* count, bool write_out) {
  while (*count > 0) {
    int64_t moved = 0;
    const std::error_code error = KernelCopy(from, to, std::min(*count, kKernelCopyPiece), &moved);
    *count -= moved;
    if (moved > 0) {
      Report(context, moved);
      WriteOut(write_out, to, moved);
    }
    if (error == std::errc::not_supported) return {};
    if (error) return error;
  }
  return {};
}

}  // namespace

std::error_code CopyBlocks(InstallContext& context, BinaryFile& from, BinaryFile& to,
                           int64_t count) {
  // A negative count would turn into a remainder far larger than the buffer.
  if (count < 0) return make_error_code(FileError::kOutOfRange);
  const bool write_out = context.write_out && count > kKernelCopyPiece;
  if (context.kernel_copy) {
    TraceLog(" Copying in the kernel -", count, " bytes");
    if (auto error = KernelCopyChunks(context, from, to, &count, write_out)) return error;
    if (count == 0) return {};
  }
  const int64_t full_blocks = count / static_cast<int64_t>(kCopyBufferSize);
  const auto remainder = static_cast<size_t>(count % static_cast<int64_t>(kCopyBufferSize));
  if (context.buffer.size() < kCopyBufferSize) context.buffer.resize(kCopyBufferSize);
  unsigned char* buffer = context.buffer.data();
  TraceLog(" Copying data -", count, " bytes");
  int64_t not_written_out = 0;  // copied since the last write-out started
  for (int64_t block = 1; block <= full_blocks; ++block) {
    TraceLog("  reading  -", block);
    if (auto error = from.Read(buffer, kCopyBufferSize)) return error;
    TraceLog("  writing -", block);
    if (auto error = to.Write(buffer, kCopyBufferSize)) return error;
    Report(context, static_cast<int64_t>(kCopyBufferSize));
    not_written_out += static_cast<int64_t>(kCopyBufferSize);
    if (not_written_out >= kKernelCopyPiece) {
      WriteOut(write_out, to, not_written_out);
      not_written_out = 0;
    }
  }
  if (remainder > 0) {
    TraceLog(" Finishing buffer -", static_cast<int64_t>(remainder), " bytes");
    TraceLog("  reading");
    if (auto error = from.Read(buffer, remainder)) return error;
    TraceLog("  writing");
    if (auto error = to.Write(buffer, remainder)) return error;
    Report(context, static_cast<int64_t>(remainder));
    not_written_out += static_cast<int64_t>(remainder);
  }
  if (not_written_out > 0) WriteOut(write_out, to, not_written_out);
  return {};
}

bool PayloadInPackage(const InstallContext& context) {
  const ResourceEntry& resource = context.resource;
  // Nothing is read of an empty payload, so where it points does not matter.
  if (resource.dataLength == 0) return resource.dataOffset >= 0;
  return resource.dataLength >= 0 && resource.dataOffset >= 0 &&
         static_cast<int64_t>(resource.dataOffset) + resource.dataLength <= context.package_length;
}

}  // namespace tarnwick
