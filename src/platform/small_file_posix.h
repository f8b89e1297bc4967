#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace tarnwick {

// Reads a whole ordinary file of at most `max_bytes` (Steam's and Wine's text files). Opened
// without blocking, so that a pipe planted under the name cannot stall the start. False for a
// missing, unreadable, oversized or not ordinary file; `info` receives what fstat said. A file
// that shrinks while it is read (Wine rewriting it) yields what could be read.
[[nodiscard]] bool ReadSmallFile(const std::string& host_path, int64_t max_bytes,
                                 std::string* bytes, struct stat* info = nullptr);

}  // namespace tarnwick
