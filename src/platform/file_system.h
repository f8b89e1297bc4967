#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/binary_file.h"

namespace tarnwick {

// The existence test of the game's files and folders: true when a listing of the path that
// admits only ordinary files yields a name. For a folder path (ending with a separator) the folder
// holds an ordinary file; for a file path the file exists and is ordinary. Hidden files (POSIX: a
// name starting with "."; Windows: the hidden or system attribute), folders, devices and sockets
// do not count. Never fails: anything unreadable is simply not listed.
[[nodiscard]] bool PathListed(const std::string& path);

// The path up to and including its last backslash; empty when it holds none.
[[nodiscard]] std::string FolderOfPath(const std::string& path);

[[nodiscard]] std::error_code FileLength(const std::string& path, int64_t* length);

// Whether anything stands at the name: a file, a folder, or a link, even one that leads nowhere.
[[nodiscard]] bool NameTaken(const std::string& path);

// Whether a change to an existing file is on disk when the call returns, or left to the system for
// the caller to sync once, after its last change to the file and before anything relies on it.
enum class Durability { kSynced, kCallerSyncs };

// Copies a whole file over another (created, or truncated and rewritten through a link that stands
// at `to`, so that a linked game file stays a link), durable before it returns unless the caller
// syncs.
[[nodiscard]] std::error_code CopyFileOver(const std::string& from, const std::string& to,
                                           Durability durability = Durability::kSynced);

// Makes a new file at `path`: whatever stands at the name goes first (a link itself, never what it
// points to), then the file is created exclusively, so that nothing planted there can redirect
// what is written. Fails when the name cannot be freed (a folder, say).
[[nodiscard]] std::error_code CreateFileAnew(const std::string& path, BinaryFile& file);

// Copies a whole file to a new file made by CreateFileAnew, and makes the copy and its folder entry
// durable before it returns, so that a log saved afterwards can rely on it. A copy that fails part
// way is removed again.
[[nodiscard]] std::error_code CopyToNewFile(const std::string& from, const std::string& to);

// Replaces `path` with `bytes` so that it is always either the old file or the new one in full:
// written to `path` followed by "_" (made by CreateFileAnew), synced, renamed over `path` in one
// atomic step, and the folder synced. On failure the temporary file is gone and `path` is as it
// was.
[[nodiscard]] std::error_code WriteFileAtomically(const std::string& path, std::string_view bytes);

[[nodiscard]] std::error_code DeleteFile(const std::string& path);

// Replaces `to` with `from` in one atomic step and makes the replacement durable (rename plus a
// sync of the folder; MoveFileEx with replace and write-through on Windows).
[[nodiscard]] std::error_code ReplaceFileAtomically(const std::string& from, const std::string& to);

// Makes the folder entry of `path` durable (a new or renamed name in it). Where the system cannot
// sync a folder, its own guarantees stand and this succeeds.
[[nodiscard]] std::error_code SyncFolderOf(const std::string& path);

// Sets the length of an existing file, counted from its start, and makes it durable; never creates
// it. On Windows the file is opened for writing without sharing, so a file that another program
// holds fails.
[[nodiscard]] std::error_code TruncateExistingFile(const std::string& path, int64_t length);

// As TruncateExistingFile, but only ever shortens: a file already no longer than `length` keeps its
// length, so no hole of zeros appears at its end. Durable before it returns unless the caller
// syncs.
[[nodiscard]] std::error_code CutExistingFile(const std::string& path, int64_t length,
                                              Durability durability = Durability::kSynced);

// A file-size limit (RLIMIT_FSIZE) then fails the write like a full disk instead of ending the
// program with SIGXFSZ. Called once at start; nothing to do on Windows.
void IgnoreFileSizeSignal();

// The system's folder for temporary files as the system gives it (GetTempPathA: with a trailing
// separator), or "C:" when it names none.
[[nodiscard]] std::string TempFolder();

}  // namespace tarnwick
