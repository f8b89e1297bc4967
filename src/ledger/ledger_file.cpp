#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <utility>

#include "ledger/json_integer.h"
#include "ledger/ledger.h"
#include "ledger/store_folder.h"
#include "platform/binary_file.h"
#include "platform/file_system.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

using nlohmann::json;

constexpr char kFormatName[] = "tarnwick-ledger";
// Far beyond what thousands of mods write; a larger file is not ours.
constexpr int64_t kMaxLedgerBytes = int64_t{64} << 20;

char SeparatorOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? '\\' : path[slash];
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string TimeText(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#ifdef _WIN32
  // The C runtime of Windows keeps gmtime's result per thread.
  if (const std::tm* converted = std::gmtime(&now)) utc = *converted;
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  const size_t size = std::strftime(text, sizeof text, format, &utc);
  return std::string(text, size);
}

bool IsHash(const std::string& text) {
  if (text.size() != 32) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

json FingerprintJson(const Fingerprint& print) {
  json out = {{"file", FingerprintName(print)}, {"index", print.file_index}};
  if (print.backup >= 0) out["backup"] = print.backup;
  out["length"] = print.length;
  out["covered"] = print.covered;
  out["hash"] = print.hash;
  return out;
}

json FingerprintsJson(const std::vector<Fingerprint>& prints) {
  json out = json::array();
  for (const Fingerprint& print : prints) out.push_back(FingerprintJson(print));
  return out;
}

// The readers throw on a missing field, a wrong type or a number its field cannot hold;
// ParseLedger turns that into a failed read.
Fingerprint FingerprintFrom(const json& in) {
  Fingerprint print;
  print.file_index = IntegerAt<int32_t>(in, "index");
  print.backup = in.contains("backup") ? IntegerAt<int32_t>(in, "backup") : -1;
  print.length = IntegerAt<int64_t>(in, "length");
  print.covered = IntegerAt<int64_t>(in, "covered");
  print.hash = in.at("hash").get<std::string>();
  if (!IsGameFileIndex(print.file_index) || print.backup < -1 || print.backup > 999 ||
      print.length < -1 || print.covered < 0 || (!print.hash.empty() && !IsHash(print.hash))) {
    throw std::invalid_argument("fingerprint");
  }
  return print;
}

// The plans Tarnwick records nest three deep. A deeper one is not ours, and writing it back as
// text would recurse once for every level.
constexpr int kMaxPlanDepth = 16;

bool NestedWithin(const json& value, int depth) {
  if (!value.is_structured()) return true;
  if (depth == 0) return false;
  for (const json& item : value) {
    if (!NestedWithin(item, depth - 1)) return false;
  }
  return true;
}

std::vector<Fingerprint> FingerprintsFrom(const json& in) {
  std::vector<Fingerprint> prints;
  for (const json& item : in) prints.push_back(FingerprintFrom(item));
  return prints;
}

}  // namespace

LedgerPaths LedgerPathsFor(const std::string& log_path) {
  const char separator = SeparatorOf(log_path);
  LedgerPaths paths;
  paths.folder = FolderOf(log_path) + "tarnwick" + separator;
  paths.file = paths.folder + "ledger.json";
  paths.packages = paths.folder + "packages" + separator;
  return paths;
}

std::string KeptPackagePath(const LedgerPaths& paths, const std::string& hash) {
  return paths.packages + hash + ".mpi";
}

std::string UtcNow() { return TimeText("%Y-%m-%dT%H:%M:%SZ"); }

std::string LedgerText(const Ledger& ledger) {
  json mods = json::array();
  for (const LedgerRecord& record : ledger.records) {
    mods.push_back({{"position", record.position},
                    {"title", record.title},
                    {"changes", record.changes},
                    {"package", record.package},
                    {"installed", record.installed},
                    {"fingerprints", FingerprintsJson(record.fingerprints)}});
  }
  json out = {{"format", kFormatName},
              {"version", kLedgerVersion},
              {"saved", ledger.saved},
              {"mods", std::move(mods)},
              {"game", FingerprintsJson(ledger.game)},
              {"log", ledger.log}};
  if (ledger.plan) {
    json plan = json::parse(*ledger.plan, nullptr, false);
    if (plan.is_object()) out["plan"] = std::move(plan);
  }
  // Titles come from game text and are valid UTF-8 by their decoding; replace keeps a dump from
  // throwing whatever happens.
  return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ParseLedger(const std::string& text, Ledger& ledger) {
  const json in = json::parse(text, nullptr, false);
  if (in.is_discarded() || !in.is_object()) return false;
  try {
    if (in.at("format").get<std::string>() != kFormatName) return false;
    if (IntegerAt<int32_t>(in, "version") != kLedgerVersion) return false;
    Ledger read;
    read.saved = in.at("saved").get<std::string>();
    for (const json& mod : in.at("mods")) {
      LedgerRecord record;
      record.position = IntegerAt<int32_t>(mod, "position");
      record.title = mod.at("title").get<std::string>();
      record.changes = mod.at("changes").get<std::string>();
      record.package = mod.at("package").get<std::string>();
      record.installed = mod.at("installed").get<std::string>();
      record.fingerprints = FingerprintsFrom(mod.at("fingerprints"));
      if (record.position < 1 || !IsHash(record.changes) ||
          (!record.package.empty() && !IsHash(record.package))) {
        return false;
      }
      read.records.push_back(std::move(record));
    }
    read.game = FingerprintsFrom(in.at("game"));
    read.log = in.at("log").get<std::string>();
    if (!read.log.empty() && !IsHash(read.log)) return false;
    if (in.contains("plan") && !in.at("plan").is_null()) {
      if (!in.at("plan").is_object() || !NestedWithin(in.at("plan"), kMaxPlanDepth)) return false;
      read.plan = in.at("plan").dump();
    }
    ledger = std::move(read);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

LedgerLoad LoadLedger(const LedgerPaths& paths, Ledger& ledger) {
  ledger = Ledger{};
  if (!PathListed(paths.file)) return LedgerLoad::kMissing;
  BinaryFile file;
  int64_t length = 0;
  std::string text;
  bool readable =
      !file.Open(paths.file, OpenMode::kRead) && !file.Length(&length) && length <= kMaxLedgerBytes;
  if (readable) {
    text.resize(static_cast<size_t>(length));
    readable = !file.ReadAt(0, text.data(), text.size());
  }
  (void)file.Close();
  if (readable && ParseLedger(text, ledger)) return LedgerLoad::kLoaded;
  ledger = Ledger{};
  TraceLog("Ledger damaged; set aside");
  // If even the rename fails, the next save replaces the damaged file whole.
  (void)ReplaceFileAtomically(paths.file, paths.file + ".damaged-" + TimeText("%Y%m%d-%H%M%S"));
  return LedgerLoad::kSetAside;
}

std::error_code SaveLedgerFile(const std::string& path, const std::string& text) {
  const std::string temp_path = path + "_";
  // A temporary left by a save that was cut off; exclusive creation needs it gone.
  (void)DeleteFile(temp_path);
  BinaryFile temp;
  if (auto error = temp.Open(temp_path, OpenMode::kCreateExclusive)) return error;
  std::error_code error = temp.Write(text.data(), text.size());
  if (!error) error = temp.Sync();
  if (const std::error_code close_error = temp.Close(); !error) error = close_error;
  if (!error) error = ReplaceFileAtomically(temp_path, path);
  if (error) (void)DeleteFile(temp_path);
  return error;
}

std::error_code SaveLedger(const LedgerPaths& paths, const Ledger& ledger) {
  if (auto error = CreateFolderDurably(paths.folder)) return error;
  return SaveLedgerFile(paths.file, LedgerText(ledger));
}

}  // namespace tarnwick
