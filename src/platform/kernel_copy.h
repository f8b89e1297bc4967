#pragma once

#include <cstdint>
#include <system_error>

#include "platform/binary_file.h"

namespace tarnwick {

// Copies up to `count` bytes from `from`'s position to `to`'s position inside the kernel, where
// the system can (copy_file_range on Linux: a shared extent on btrfs and XFS, an in-kernel copy
// elsewhere); both positions advance by the `*moved` bytes. std::errc::not_supported, with
// nothing moved, where it cannot (another system, files on two file systems, a kernel without
// the call): the caller copies through its own buffer then. kShortRead when `from` ends first.
[[nodiscard]] std::error_code KernelCopy(BinaryFile& from, BinaryFile& to, int64_t count,
                                         int64_t* moved);

}  // namespace tarnwick
