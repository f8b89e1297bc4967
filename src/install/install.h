#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "common/game_files.h"
#include "modlog/mod_log.h"
#include "package/package.h"
#include "platform/binary_file.h"
#include "platform/messages.h"
#include "platform/progress.h"

namespace tarnwick {

inline constexpr size_t kCopyBufferSize = 64000;

// How a resource handler ended.
enum class HandlerOutcome {
  kDone,            // applied or skipped: go on
  kAbort,           // the handler showed its own message
  kInvalidPackage,  // the invalid-package exit
  kError,           // the error exit; InstallContext::error says what failed
};

// What the install lends to each resource handler.
struct InstallContext {
  BinaryFile& package;
  int64_t package_length;
  std::vector<unsigned char>& buffer;  // the one copy buffer, kCopyBufferSize bytes
  int resource_number;                 // 1-based
  const ResourceEntry& resource;
  ModLog& log;  // its newest entry is the mod being installed
  const GameFiles& game_files;
  bool CCPresent;
  Messages& messages;
  Progress* progress;       // may be null
  int64_t* bytes_copied;    // running total for progress
  std::error_code error;    // set with kError
  bool kernel_copy = true;  // payloads may be copied inside the kernel where it can
  bool write_out = false;   // the copy will be synced: large payloads start their writing early
};

// The error outcome, with what failed (an empty code: the mod log could not be saved).
inline HandlerOutcome Fail(InstallContext& context, std::error_code error) {
  context.error = error;
  return HandlerOutcome::kError;
}

// The entry of the mod being installed.
inline ModLogEntry& CurrentEntry(InstallContext& context) { return context.log.Mods.back(); }

// Installs the chosen package; false when it completed, true when it failed (after its message).
[[nodiscard]] bool InstallMod(const std::string& package_path, const PackageHeader& header,
                              ModLog& log, const GameFiles& game_files, bool cc_present,
                              Messages& messages, Progress* progress);

// How many resources one log save records, and how bulk data moves. The defaults are what the
// program uses; the benchmark also runs the order of the earlier program (one resource per save,
// copies through the buffer only, appended data left to the system).
struct InstallTuning {
  int batch_resources = 4096;
  int64_t batch_bytes = int64_t{64} << 20;
  bool kernel_copy = true;
  bool sync_data = true;  // and, with it, large payloads start their writing to disk as they go
};
[[nodiscard]] bool InstallModTuned(const std::string& package_path, const PackageHeader& header,
                                   ModLog& log, const GameFiles& game_files, bool cc_present,
                                   Messages& messages, Progress* progress,
                                   const InstallTuning& tuning);

// The three handlers, dispatched by typeCode: 5, 6, anything else.
[[nodiscard]] HandlerOutcome ReplaceGameFile(InstallContext& context);
[[nodiscard]] HandlerOutcome InstallIcons(InstallContext& context);
[[nodiscard]] HandlerOutcome InsertResource(InstallContext& context);

// Copies `count` bytes from `from`'s position to `to`'s position through the context's buffer:
// count / 64000 full blocks, then the remainder.
[[nodiscard]] std::error_code CopyBlocks(InstallContext& context, BinaryFile& from, BinaryFile& to,
                                         int64_t count);

// Whether the resource's payload lies wholly inside the package (no negative length or offset);
// an empty one may point anywhere past the package's start.
[[nodiscard]] bool PayloadInPackage(const InstallContext& context);

}  // namespace tarnwick
