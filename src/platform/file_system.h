#pragma once

#include <cstdint>
#include <string>
#include <system_error>

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

// Copies a whole file over another (created or truncated) and makes the copy durable before it
// returns, so that a change recorded after it can rely on it.
[[nodiscard]] std::error_code CopyFileOver(const std::string& from, const std::string& to);

[[nodiscard]] std::error_code DeleteFile(const std::string& path);

// Replaces `to` with `from` in one atomic step and makes the replacement durable (rename plus a
// sync of the folder; MoveFileEx with replace and write-through on Windows).
[[nodiscard]] std::error_code ReplaceFileAtomically(const std::string& from, const std::string& to);

// Sets the length of an existing file, counted from its start; never creates it. On Windows the
// file is opened for writing without sharing, so a file that another program holds fails.
[[nodiscard]] std::error_code TruncateExistingFile(const std::string& path, int64_t length);

// The system's folder for temporary files as the system gives it (GetTempPathA: with a trailing
// separator), or "C:" when it names none.
[[nodiscard]] std::string TempFolder();

}  // namespace tarnwick
