// The ledger file, the matching of its records, the fingerprints and the package store, on real
// files written by the writers.

#include <filesystem>
#include <string>
#include <vector>

#include "archive/drs.h"
#include "ledger_game.h"
#include "manage/install_package.h"
#include "platform/binary_file.h"
#include "platform/kernel_copy.h"

namespace tarnwick {
namespace {

Fingerprint Print(int32_t index, int32_t backup, int64_t length, char digit) {
  return {index, backup, length, length, std::string(32, digit)};
}

Ledger SampleLedger() {
  Ledger ledger;
  ledger.game = {Print(0, -1, 9000, 'c'), Print(5, 0, 700, 'd')};
  ledger.records = {{1, "Caf\xc3\xa9 mod", std::string(32, 'a'), std::string(32, 'b'),
                     "2026-12-05T23:59:59Z", ledger.game}};
  ledger.log = std::string(32, 'e');
  ledger.saved = "2026-12-06T00:00:00Z";
  return ledger;
}

TEST(LedgerFile, TextsThatAreNotALedgerOfThisVersionAreRefused) {
  const std::string good = LedgerText(SampleLedger());
  auto with = [&good](const std::string& from, const std::string& to) {
    std::string text = good;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
  };
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"empty", ""},
      {"cut short", good.substr(0, good.size() / 2)},
      {"not an object", "[1, 2]"},
      {"another format", with("tarnwick-ledger", "other-ledger")},
      {"a later version", with("\"version\": 1", "\"version\": 2")},
      {"position 0", with("\"position\": 1", "\"position\": 0")},
      {"a field of the wrong kind", with("\"position\": 1", "\"position\": \"1\"")},
      {"a position no integer holds", with("\"position\": 1", "\"position\": 1e300")},
      {"a fractional position", with("\"position\": 1", "\"position\": 1.5")},
      {"a position beyond 32 bits", with("\"position\": 1", "\"position\": 4294967297")},
      {"an index beyond 32 bits", with("\"index\": 5", "\"index\": 4294967301")},
      {"a length no integer holds", with("\"length\": 700", "\"length\": -1e300")},
      {"a version no integer holds", with("\"version\": 1", "\"version\": 1e30")},
      {"a hash that is no hash", with(std::string(32, 'b'), "bbbb")},
      {"a game file index the log cannot hold", with("\"index\": 5", "\"index\": 12")},
      {"a backup number beyond 999", with("\"backup\": 0", "\"backup\": 1000")},
      {"mods missing", with("\"mods\"", "\"mode\"")},
      {"a log hash that is no hash", with(std::string(32, 'e'), "e")},
      {"a plan that is not an object", with("\"saved\"", "\"plan\": 3, \"saved\"")},
      {"a plan nested far deeper than any plan",
       with("\"saved\"", "\"plan\": {\"a\": " + std::string(100000, '[') +
                             std::string(100000, ']') + "}, \"saved\"")},
  };
  for (const auto& [name, text] : cases) {
    Ledger read;
    EXPECT_FALSE(ParseLedger(text, read)) << name;
  }
}

TEST(LedgerMatching, ARecordBelongsOnlyWhenPositionTitleAndChangesAgree) {
  ModLog log;
  log.Mods.push_back({"First", {}});
  log.Mods.push_back({"Caf\xe9\r\nmod", {}});
  log.Mods[2].Changes.push_back({0, 9000, 96, 1000, 20});
  log.Mods[2].Changes.push_back({5, 0, 0, 0, 0});
  const LedgerRecord record = RecordFor(log, 2, std::string(32, 'b'));
  // The log keeps the title with its line break as a blank, in Windows-1252.
  EXPECT_EQ(record.title, "Caf\xc3\xa9  mod");
  EXPECT_TRUE(RecordMatches(record, log, 2));

  const std::pair<const char*, void (*)(ModLog&, LedgerRecord&)> cases[] = {
      {"another position", [](ModLog&, LedgerRecord& r) { r.position = 1; }},
      {"another title", [](ModLog& l, LedgerRecord&) { l.Mods[2].Name = "Cafe mod"; }},
      {"another old offset", [](ModLog& l, LedgerRecord&) { l.Mods[2].Changes[1].OldOffset++; }},
      {"a change less", [](ModLog& l, LedgerRecord&) { l.Mods[2].Changes.pop_back(); }},
      {"the entry gone", [](ModLog& l, LedgerRecord&) { l.Mods.pop_back(); }},
  };
  for (const auto& [name, change] : cases) {
    ModLog changed = log;
    Ledger ledger;
    ledger.records = {record};
    change(changed, ledger.records[0]);
    EXPECT_FALSE(RecordMatches(ledger.records[0], changed, ledger.records[0].position)) << name;
    DropUnmatched(changed, ledger);
    EXPECT_TRUE(ledger.records.empty()) << name;
  }
}

class Fingerprints : public LedgerGame {};

// What another tool or a game update does to an archive, and whether the fingerprint sees it.
TEST_F(Fingerprints, HeaderAndDirectoryChangesShowAndAppendedDataDoesNot) {
  std::vector<unsigned char> buffer(kHashBufferSize);
  const std::string archive = File(kGamedataDrs);
  const Fingerprint before = TakeFingerprint(files, kGamedataDrs, -1, buffer);
  std::error_code io_error;
  const int64_t directory_end = DirectoryEnd(archive, &io_error);
  ASSERT_GT(directory_end, kDrsHeaderSize);
  EXPECT_EQ(before.covered, directory_end);
  EXPECT_EQ(before.length, static_cast<int64_t>(original_[kGamedataDrs].size()));

  // Where one byte is changed (-1: bytes appended instead), and whether the hash sees it; the
  // length changes only for appending.
  const std::pair<const char*, int64_t> cases[] = {
      {"the version in the header", 61},
      {"the offset of the last entry redirected", directory_end - 8},
      {"a table row", kDrsHeaderSize + 4},
      {"a byte of resource data", directory_end + 1},
      {"data appended", -1},
  };
  for (const auto& [name, at] : cases) {
    std::string bytes = original_[kGamedataDrs];
    bytes += at < 0 ? "tail" : "";
    if (at >= 0) bytes[static_cast<size_t>(at)] ^= 0x5a;
    fixtures::WriteAll(archive, bytes);
    const Fingerprint after = TakeFingerprint(files, kGamedataDrs, -1, buffer);
    EXPECT_EQ(after.hash != before.hash, at >= 0 && at < directory_end) << name;
    EXPECT_EQ(after.length != before.length, at < 0) << name;
  }
  // A directory the reader refuses is noted, not hashed.
  fixtures::WriteAll(archive, "not an archive at all, but long enough to be read");
  const Fingerprint bad = TakeFingerprint(files, kGamedataDrs, -1, buffer);
  EXPECT_EQ(bad.covered, 0);
  EXPECT_TRUE(bad.hash.empty());
}

TEST_F(Fingerprints, AnInstallRecordsArchivesReplacedFilesAndBackups) {
  const std::string path = WritePackage("Mod", 1);
  ASSERT_FALSE(InstallPackage(path, Header(path), log, files, true, messages, nullptr));
  const Ledger ledger = DiskLedger();
  std::vector<std::string> names;
  for (const Fingerprint& print : ledger.game) names.push_back(FingerprintName(print));
  EXPECT_EQ(names, (std::vector<std::string>{
                       "gamedata.drs", "graphics.drs", "interfac.drs", "sounds.drs", "terrain.drs",
                       "language.dll", "language.dll.000", "gamedata_x1.drs", "graphics_x1.drs",
                       "interfac_x1.drs", "sounds_x1.drs", "terrain_x1.drs"}));
  const std::string backup = fixtures::ReadAll(File(kLanguageDll) + ".000");
  EXPECT_EQ(ledger.game[6].hash, HashBytes(backup.data(), backup.size()));
  EXPECT_EQ(ledger.game[6].length, static_cast<int64_t>(backup.size()));
  ASSERT_EQ(ledger.records.size(), 1u);
  EXPECT_EQ(ledger.records[0].fingerprints, ledger.game);
  // Taken again on the untouched game, they are the same.
  std::vector<unsigned char> buffer(kHashBufferSize);
  EXPECT_EQ(TakeFingerprints(DiskLog(), files, buffer), ledger.game);
}

class PackageStore : public LedgerGame {};

TEST_F(PackageStore, OneCopyPerContentDurableUnderItsHashAndPrunedWhenUnused) {
  const std::string path = WritePackage("Mod", 1);
  const std::string bytes = fixtures::ReadAll(path);
  std::vector<unsigned char> buffer(kHashBufferSize);
  std::string hash;
  ASSERT_FALSE(KeepPackage(paths, path, buffer, hash));
  EXPECT_EQ(hash, HashBytes(bytes.data(), bytes.size()));
  EXPECT_EQ(fixtures::ReadAll(KeptPackagePath(paths, hash)), bytes);
  // A temporary left by a copy that was cut off is replaced, not followed or appended to.
  fixtures::WriteAll(paths.packages + "incoming.mpi_", "left over");
  std::string again;
  ASSERT_FALSE(KeepPackage(paths, path, buffer, again));
  EXPECT_EQ(again, hash);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(paths.packages),
                          std::filesystem::directory_iterator()),
            1);
  EXPECT_EQ(CheckKeptPackage(paths, hash, true, buffer), KeptPackage::kKept);
  fixtures::WriteAll(KeptPackagePath(paths, hash), bytes.substr(1));
  EXPECT_EQ(CheckKeptPackage(paths, hash, false, buffer), KeptPackage::kKept);
  EXPECT_EQ(CheckKeptPackage(paths, hash, true, buffer), KeptPackage::kAltered);

  Ledger ledger;
  ledger.records.push_back({});
  ledger.records[0].package = hash;
  fixtures::WriteAll(KeptPackagePath(paths, std::string(32, 'f')), "unused");
  fixtures::WriteAll(paths.packages + "readme.txt", "not ours");
  PruneKeptPackages(paths, ledger);
  EXPECT_TRUE(fixtures::Exists(KeptPackagePath(paths, hash)));
  EXPECT_FALSE(fixtures::Exists(KeptPackagePath(paths, std::string(32, 'f'))));
  EXPECT_TRUE(fixtures::Exists(paths.packages + "readme.txt"));
  std::filesystem::remove(KeptPackagePath(paths, hash));
  EXPECT_EQ(CheckKeptPackage(paths, hash, false, buffer), KeptPackage::kMissing);
}

// The copy goes in pieces of kKernelCopyPiece, each hashed as the copy holds it: the hash and the
// bytes must come out whole around every piece and buffer boundary, and no temporary is left.
TEST_F(PackageStore, EveryLengthIsKeptWhole) {
  const std::vector<int64_t> lengths = {
      0, 1, 63999, 64000, 64001, kKernelCopyPiece, 2 * kKernelCopyPiece + 64000 + 7};
  std::vector<unsigned char> buffer(kHashBufferSize);
  for (const int64_t length : lengths) {
    SCOPED_TRACE(length);
    std::string bytes(static_cast<size_t>(length), '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7919 / 251);
    const std::string path = dir_ / "package.mpi";
    fixtures::WriteAll(path, bytes);
    const std::string expected = HashBytes(bytes.data(), bytes.size());
    std::string hash;
    ASSERT_FALSE(KeepPackage(paths, path, buffer, hash));
    EXPECT_EQ(hash, expected);
    EXPECT_TRUE(fixtures::ReadAll(KeptPackagePath(paths, hash)) == bytes);
    // A removal puts a mod back through its kept copy, which is kept again over itself.
    std::string again;
    ASSERT_FALSE(KeepPackage(paths, KeptPackagePath(paths, hash), buffer, again));
    EXPECT_EQ(again, hash);
    EXPECT_TRUE(fixtures::ReadAll(KeptPackagePath(paths, hash)) == bytes);
    std::filesystem::remove(KeptPackagePath(paths, hash));
    EXPECT_TRUE(std::filesystem::is_empty(paths.packages));
  }
}

// A save over a temporary that a cut left behind: the crash tests' cut installs, which the removal
// after each cut saves over.
TEST_F(PackageStore, ALedgerReadsBackTheSameAndADamagedOneIsSetAside) {
  Ledger ledger = SampleLedger();
  ledger.plan = R"({"done":2,"steps":["a","b","c"]})";  // travels through unchanged
  ASSERT_FALSE(SaveLedger(paths, ledger));
  Ledger read;
  EXPECT_EQ(LoadLedger(paths, read), LedgerLoad::kLoaded);
  EXPECT_EQ(read, ledger);

  fixtures::WriteAll(paths.file, std::string("\x00\xff garbage", 10));
  EXPECT_EQ(LoadLedger(paths, read), LedgerLoad::kSetAside);
  EXPECT_EQ(read, Ledger{});
  EXPECT_FALSE(fixtures::Exists(paths.file));
  int set_aside = 0;
  for (const auto& entry : std::filesystem::directory_iterator(paths.folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("ledger.json.damaged-", 0) == 0) {
      ++set_aside;
      EXPECT_EQ(name.size(), std::string("ledger.json.damaged-20261206-000000").size());
      EXPECT_EQ(fixtures::ReadAll(entry.path().string()), std::string("\x00\xff garbage", 10));
    }
  }
  EXPECT_EQ(set_aside, 1);
  EXPECT_EQ(LoadLedger(paths, read), LedgerLoad::kMissing);
}

}  // namespace
}  // namespace tarnwick
