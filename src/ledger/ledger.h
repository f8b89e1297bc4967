#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/game_files.h"
#include "modlog/mod_log.h"

namespace tarnwick {

// Tarnwick's own records beside mods.log, in the folder "tarnwick" of the game's data folder:
// the ledger file and the kept packages. mods.log stays as every installer writes it; nothing
// here is needed to read it or to remove what it lists. docs/formats/ledger.md has the layout.

inline constexpr int kLedgerVersion = 1;

// The state of one game file as Tarnwick left it.
struct Fingerprint {
  int32_t file_index = 0;  // the log's game file index
  int32_t backup = -1;     // -1: the game file itself; 0 to 999: its backup with that number
  int64_t length = -1;     // -1: the file was absent or could not be read
  // Bytes hashed from the file's start: the whole file, or for an archive its header and
  // directory (all of its table rows and entry runs). 0 with an empty hash for an archive whose
  // directory could not be read.
  int64_t covered = 0;
  std::string hash;  // XXH3-128 of the covered bytes, 32 lower-case hex digits
  bool operator==(const Fingerprint&) const = default;
};

// One installed mod, tied to its log entry by position, title and change digest.
struct LedgerRecord {
  int32_t position = 0;   // 1-based position in the log
  std::string title;      // the title as saved in the log, decoded from Windows-1252 to UTF-8
  std::string changes;    // ChangesDigest of its entry
  std::string package;    // content hash of the kept package
  std::string installed;  // UTC, "YYYY-MM-DDTHH:MM:SSZ"
  std::vector<Fingerprint> fingerprints;  // the game files right after its install
  bool operator==(const LedgerRecord&) const = default;
};

struct Ledger {
  std::vector<LedgerRecord> records;  // oldest first
  std::vector<Fingerprint> game;      // the game files after Tarnwick's latest change
  std::string log;                    // hash of mods.log's bytes when `game` was taken
  std::string saved;                  // UTC time of the save that wrote it
  // A plan in progress, kept as its JSON text; no operation writes one yet.
  std::optional<std::string> plan;
  bool operator==(const Ledger&) const = default;
};

// Where the records of a log live: all paths in the log path's own form and separator.
struct LedgerPaths {
  std::string folder;    // <data>\tarnwick\.
  std::string file;      // <data>\tarnwick\ledger.json
  std::string packages;  // <data>\tarnwick\packages\.
};
[[nodiscard]] LedgerPaths LedgerPathsFor(const std::string& log_path);
[[nodiscard]] std::string KeptPackagePath(const LedgerPaths& paths, const std::string& hash);

// ---- The ledger file ----

enum class LedgerLoad {
  kLoaded,
  kMissing,   // no ledger yet (a new game, or mods of other installers only): an empty ledger
  kSetAside,  // damaged or unreadable; renamed to ledger.json.damaged-<YYYYMMDD-HHMMSS> and an
              // empty ledger given, so that every log entry reads as "package not kept"
};
[[nodiscard]] LedgerLoad LoadLedger(const LedgerPaths& paths, Ledger& ledger);

// Parses the file's text; false when it is not a ledger this version can read whole.
[[nodiscard]] bool ParseLedger(const std::string& text, Ledger& ledger);
[[nodiscard]] std::string LedgerText(const Ledger& ledger);

// Writes the ledger as the log is written (temporary file created exclusively, fsync, atomic
// rename, fsync of the folder), creating the folder first where needed.
[[nodiscard]] std::error_code SaveLedger(const LedgerPaths& paths, const Ledger& ledger);
// The durable whole-file save behind SaveLedger.
[[nodiscard]] std::error_code SaveLedgerFile(const std::string& path, const std::string& text);

// ---- Matching records to log entries ----

// XXH3-128 of the entry's change lines exactly as SaveModLog writes them ("<n>\r\n", five per
// change, change count first).
[[nodiscard]] std::string ChangesDigest(const ModLogEntry& entry);
// The entry's title as the log holds it on disk, decoded for the ledger.
[[nodiscard]] std::string RecordTitle(const ModLogEntry& entry);
[[nodiscard]] bool RecordMatches(const LedgerRecord& record, const ModLog& log, int32_t position);
// For log positions 1 to ModCount (at [position - 1]): the record that belongs to it, or null.
[[nodiscard]] std::vector<const LedgerRecord*> MatchRecords(const ModLog& log,
                                                            const Ledger& ledger);
// Keeps only the records that belong to a log entry.
void DropUnmatched(const ModLog& log, Ledger& ledger);
// A record for the log's entry at `position` (its title, digest, the time now).
[[nodiscard]] LedgerRecord RecordFor(const ModLog& log, int32_t position,
                                     const std::string& package_hash);

// ---- Fingerprints and hashes ----

// 32 hex digits of XXH3-128.
[[nodiscard]] std::string HashBytes(const void* data, size_t size);
// Hashes a whole file through `buffer`; its length comes back too.
[[nodiscard]] std::error_code HashFile(const std::string& path, std::vector<unsigned char>& buffer,
                                       std::string& hash, int64_t* length);

// Bytes 0 to the end of the last entry run of a readable archive; 0 when its directory is bad.
[[nodiscard]] int64_t DirectoryEnd(const std::string& archive_path, std::error_code* io_error);

// Every archive the log knows that exists (0 to 4, 20 to 24): its length and the hash of its
// header and directory; every replaced file the log names and every backup it names: length and
// hash. Streams through `buffer` (kHashBufferSize bytes).
inline constexpr size_t kHashBufferSize = 64000;
[[nodiscard]] std::vector<Fingerprint> TakeFingerprints(const ModLog& log,
                                                        const GameFiles& game_files,
                                                        std::vector<unsigned char>& buffer);
[[nodiscard]] Fingerprint TakeFingerprint(const GameFiles& game_files, int32_t file_index,
                                          int32_t backup, std::vector<unsigned char>& buffer);
// The name a fingerprint stands for: "genie.dat", "language.dll.001".
[[nodiscard]] std::string FingerprintName(const Fingerprint& fingerprint);

// ---- Kept packages ----

// Copies the package into the store under its content hash, durable before it returns; the
// copy is written under a temporary name and renamed, so no half-written file carries a hash.
[[nodiscard]] std::error_code KeepPackage(const LedgerPaths& paths, const std::string& package_path,
                                          std::vector<unsigned char>& buffer, std::string& hash);
enum class KeptPackage { kMissing, kKept, kAltered };
// Whether the kept copy exists and, when `verify`, still hashes as its name says.
[[nodiscard]] KeptPackage CheckKeptPackage(const LedgerPaths& paths, const std::string& hash,
                                           bool verify, std::vector<unsigned char>& buffer);
// Deletes every kept package (and leftover temporary) that no record of `ledger` uses.
void PruneKeptPackages(const LedgerPaths& paths, const Ledger& ledger);

// The time now as the ledger writes it.
[[nodiscard]] std::string UtcNow();

}  // namespace tarnwick
