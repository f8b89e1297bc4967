#pragma once

#include <cstdint>
#include <system_error>

#include "platform/binary_file.h"

namespace tarnwick {

// The kernel's copy goes in pieces of this size: large enough to keep its speed (a few
// milliseconds each from the page cache), small enough that progress moves several times a second
// even where the disk writes 20 MB/s, and that the writing of each piece can be started as soon as
// it is copied.
inline constexpr int64_t kKernelCopyPiece = int64_t{8} << 20;

// Copies up to `count` bytes from `from`'s position to `to`'s position inside the kernel, where
// the system can (copy_file_range on Linux: a shared extent on btrfs and XFS, an in-kernel copy
// elsewhere); both positions advance by the `*moved` bytes. std::errc::not_supported, with
// nothing moved, where it cannot (another system, files on two file systems, a kernel without
// the call): the caller copies through its own buffer then. kShortRead when `from` ends first.
[[nodiscard]] std::error_code KernelCopy(BinaryFile& from, BinaryFile& to, int64_t count,
                                         int64_t* moved);

// Starts writing `count` bytes of `file` from `position` out to the disk and returns without
// waiting (sync_file_range on Linux), so that the sync that makes them durable later finds most of
// them written while the copy went on. Only a hint: nothing is promised until that sync, and where
// the system has no such call it does nothing.
void StartWriteOut(BinaryFile& file, int64_t position, int64_t count);

}  // namespace tarnwick
