#include <algorithm>
#include <charconv>
#include <string>

#include "ledger/ledger.h"
#include "ledger/stream_hash.h"
#include "platform/text_codec.h"

namespace tarnwick {
namespace {

void HashNumberLine(StreamHash& hash, int32_t value) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits - 2, value).ptr;
  *end++ = '\r';
  *end++ = '\n';
  hash.Update(digits, static_cast<size_t>(end - digits));
}

}  // namespace

std::string ChangesDigest(const ModLogEntry& entry) {
  StreamHash hash;
  HashNumberLine(hash, entry.ChangeCount());
  for (const FileChange& change : entry.Changes) {
    HashNumberLine(hash, change.FileIndex);
    HashNumberLine(hash, change.OldState);
    HashNumberLine(hash, change.EntryPos);
    HashNumberLine(hash, change.OldOffset);
    HashNumberLine(hash, change.OldSize);
  }
  return hash.Hex();
}

std::string RecordTitle(const ModLogEntry& entry) {
  // The log replaces line breaks in a title by blanks; a title read back has none.
  std::string saved = entry.Name;
  for (char& c : saved) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return Cp1252ToUtf8(saved);
}

bool RecordMatches(const LedgerRecord& record, const ModLog& log, int32_t position) {
  if (position < 1 || position > log.ModCount() || record.position != position) return false;
  const ModLogEntry& entry = log.Mods[position];
  return record.title == RecordTitle(entry) && record.changes == ChangesDigest(entry);
}

std::vector<const LedgerRecord*> MatchRecords(const ModLog& log, const Ledger& ledger) {
  std::vector<const LedgerRecord*> matched(static_cast<size_t>(log.ModCount()), nullptr);
  for (const LedgerRecord& record : ledger.records) {
    if (!RecordMatches(record, log, record.position)) continue;
    const LedgerRecord*& slot = matched[static_cast<size_t>(record.position - 1)];
    // Two records for one entry come only from a hand-edited file; the first stands.
    if (slot == nullptr) slot = &record;
  }
  return matched;
}

void DropUnmatched(const ModLog& log, Ledger& ledger) {
  std::vector<bool> taken(static_cast<size_t>(log.ModCount()) + 1, false);
  std::vector<LedgerRecord> kept;
  for (LedgerRecord& record : ledger.records) {
    if (!RecordMatches(record, log, record.position)) continue;
    if (taken[static_cast<size_t>(record.position)]) continue;
    taken[static_cast<size_t>(record.position)] = true;
    kept.push_back(std::move(record));
  }
  // Log order, whatever order the file had.
  std::sort(kept.begin(), kept.end(),
            [](const LedgerRecord& a, const LedgerRecord& b) { return a.position < b.position; });
  ledger.records = std::move(kept);
}

LedgerRecord RecordFor(const ModLog& log, int32_t position, const std::string& package_hash) {
  LedgerRecord record;
  record.position = position;
  const ModLogEntry& entry = log.Mods[position];
  record.title = RecordTitle(entry);
  record.changes = ChangesDigest(entry);
  record.package = package_hash;
  record.installed = UtcNow();
  return record;
}

}  // namespace tarnwick
