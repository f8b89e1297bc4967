// Writes the fuzz targets' starting corpus: real packages, archives, logs of all three versions,
// ledgers and system.reg files, byte for byte as the writers and the program make them. Usage:
// tarnwick-fuzz-seeds FOLDER (it gets one subfolder per target).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/game_files.h"
#include "ledger/ledger.h"
#include "writers/bytes.h"
#include "writers/drs_writer.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"
#include "writers/sandbox.h"
#include "writers/slp.h"
#include "writers/wine_prefix_writer.h"

namespace {

namespace fs = std::filesystem;
using namespace tarnwick;
using namespace tarnwick::fixtures;

bool Write(const fs::path& folder, const std::string& name, const std::string& bytes) {
  std::error_code error;
  fs::create_directories(folder, error);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) fprintf(stderr, "cannot write %s\n", (folder / name).c_str());
  return static_cast<bool>(out);
}

bool WritePackages(const fs::path& folder) {
  bool ok = true;
  for (const SampleMod& mod : SampleMods())
    ok &= Write(folder, mod.file_name, BuildMpi(mod.package));
  // Every row type, the older magic, no title or readme.
  MpiPackage every;
  every.magic = "MPI 0.5 ";
  every.title = "";
  every.readme = "";
  PixelGrid picture(3, 2, 7);
  for (const MpiRow& row :
       std::vector<MpiRow>{{1, 0, 50000, "gamedata", {}, {}},
                           {2, 2, 50500, "palette", {}, {}},
                           {3, 3, 5000, "RIFF", {}, {}},
                           {4, 1, 100, "slp!", {}, {}},
                           {5, 6, 0, "language", {}, {}},
                           {5, 12, 0, "exe", {}, {}},
                           {6, 0, 1, BuildIconPayload(0x3F, picture), {}, {}}}) {
    every.rows.push_back(row);
  }
  ok &= Write(folder, "every-row.mpi", BuildMpi(every));
  return ok;
}

bool WriteArchives(const fs::path& folder) {
  bool ok = true;
  for (int index = 0; index < kGameFileCount; ++index) {
    std::vector<DrsTable> tables = GameArchiveTables(index);
    if (tables.empty()) continue;
    // The reader looks at the directory only: a few bytes of each resource keep the seed small.
    for (DrsTable& table : tables) {
      for (DrsResource& resource : table.resources) resource.data.resize(8);
    }
    ok &= Write(folder, GameFileName(index), BuildDrs(tables));
  }
  const std::vector<DrsTable> small = {
      {"bina", {{1, "one"}, {2, "two"}}}, {"slp ", {}}, {"wav ", {{3, "three"}}}};
  ok &= Write(folder, "gap-reversed.drs", BuildDrs(small, {16, true}));
  ok &= Write(folder, "terrain_x1-whole.drs", BuildDrs(GameArchiveTables(kTerrainDrs + kCcOffset)));
  return ok;
}

std::string Lines(const std::vector<std::string>& lines, const char* end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

// Header, ModCount, the FileState lines the version holds, then the mods.
std::string Log(const std::string& first_line, int state_lines,
                const std::vector<std::vector<std::string>>& mods, const char* end = "\r\n") {
  std::vector<std::string> lines = {first_line,
                                    "** DO NOT ALTER THIS FILE! DOING SO MAY CAUSE MANY NASTY "
                                    "THINGS! **",
                                    std::to_string(mods.size())};
  for (int k = 0; k < state_lines; ++k) lines.push_back(std::to_string(1000 * (k + 1)));
  for (const auto& mod : mods) lines.insert(lines.end(), mod.begin(), mod.end());
  return Lines(lines, end);
}

bool WriteLogs(const fs::path& folder) {
  const std::vector<std::string> archive_mod = {
      "Graphics mod", "2", "1", "2000", "1116", "1200", "30", "22", "5000", "2124", "0", "-1"};
  const std::vector<std::string> replacement_mod = {
      "Language (incomplete)", "1", "5", "0", "0", "0", "0"};
  const std::vector<std::string> empty_mod = {"Nothing at all", "0"};
  bool ok = true;
  ok &= Write(folder, "v2.1-empty.log", Log("Mod Log v2.1", 16, {}));
  ok &=
      Write(folder, "v2.1.log", Log("Mod Log v2.1", 16, {archive_mod, replacement_mod, empty_mod}));
  ok &= Write(folder, "v2.log", Log("Mod Log v2", 12, {archive_mod, empty_mod}));
  ok &= Write(folder, "v2-lf.log", Log("Mod Log v2", 12, {replacement_mod}, "\n"));
  ok &= Write(folder, "v1.log", Log("Mod Log", 6, {archive_mod, replacement_mod}));
  return ok;
}

bool WriteRegistries(const fs::path& folder) {
  const std::string path = "C:\\Program Files\\LucasArts\\Star Wars Galactic Battlegrounds\\";
  WinePrefixOptions both;
  both.cc_game_path = path;
  both.base_game_path = path;
  WinePrefixOptions base32;
  base32.base_game_path = "D:\\Spiele\\SWGB \"Gold\"\\";
  base32.wow6432_node = false;
  base32.win64 = false;
  WinePrefixOptions expand;
  expand.cc_game_path = "C:\\Jeux\\Été\\Clone Campaigns\\";
  expand.expand_string = true;
  WinePrefixOptions wide;
  wide.base_game_path = "C:\\游戏\\SWGB\\\t";
  bool ok = true;
  ok &= Write(folder, "both-keys.reg", BuildSystemReg(both));
  ok &= Write(folder, "base-32bit.reg", BuildSystemReg(base32));
  ok &= Write(folder, "expand-string.reg", BuildSystemReg(expand));
  ok &= Write(folder, "wide-characters.reg", BuildSystemReg(wide));
  ok &= Write(folder, "no-keys.reg", BuildSystemReg({}));
  // The value types the game's keys never use, as Wine writes them.
  ok &= Write(folder, "value-types.reg",
              BuildSystemReg(both) +
                  "[Software\\\\Tarnwick\\\\Types] 1700000000\n#time=1da1747c66d0000\n"
                  "@=\"default\"\n\"Binary\"=hex:01,02,ff,\\\n  00,7f\n\"Dword\"=dword:0000002a\n"
                  "\"Multi\"=hex(7):41,00,00,00,42,00,00,00,00,00\n\"Expand\"=hex(2):25,00,00,00\n"
                  "\"Escapes\"=\"a\\\"b\\\\c\\n\\t\\x00e9\\0\"\n\n");
  return ok;
}

bool WriteLedgers(const fs::path& folder) {
  const std::string hash(32, 'a');
  const std::string second(32, 'c');
  Ledger ledger;
  ledger.game = {{0, -1, 9000, 1024, std::string(32, 'b')}, {25, 3, -1, 0, ""}};
  ledger.records = {{1, "Caf\xc3\xa9 mod", hash, "", "2026-12-06T00:00:00Z", ledger.game},
                    {2, "Second", second, hash, "2026-12-06T00:00:01Z", {}}};
  ledger.log = std::string(32, 'd');
  ledger.saved = "2026-12-06T00:00:02Z";
  // Removing the first of two mods: the second taken off, the first removed, the second put back.
  const std::string plan =
      R"({"operation":"remove","target":1,"title":"Café mod","stack":[")" + hash + R"(",")" +
      second + R"("],"steps":[{"step":"take off","position":2,"title":"Second","changes":")" +
      second + R"("},{"step":"remove","position":1,"title":"Café mod","changes":")" + hash +
      R"("},{"step":"put back","position":2,"title":"Second","package":")" + hash +
      R"("}],"done":1})";
  Ledger removing = ledger;
  removing.plan = plan;
  bool ok = true;
  ok &= Write(folder, "empty.json", LedgerText(Ledger{}));
  ok &= Write(folder, "two-mods.json", LedgerText(ledger));
  ok &= Write(folder, "removing.json", LedgerText(removing));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const fs::path root = argv[1];
  bool ok = WritePackages(root / "package");
  ok &= WriteArchives(root / "drs");
  ok &= WriteLogs(root / "mod_log");
  ok &= WriteLedgers(root / "ledger");
  ok &= WriteRegistries(root / "wine_registry");
  return ok ? 0 : 1;
}
