#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_scene.h"
#include "common/game_files.h"
#include "fixtures/recording_messages.h"
#include "modlog/mod_log.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"
#include "writers/sandbox.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick::testing {
namespace {

using nlohmann::json;

constexpr char kNotAsked[] =
    "Nothing was changed: there is no terminal to ask on. Add --yes to go ahead without the "
    "question.";
constexpr char kNoGame[] =
    "Error: Unable to find SWGB! Please ensure that it is correctly installed and that it has "
    "been run at least once. If it is installed in a Wine prefix of its own, start the installer "
    "with WINEPREFIX set to that prefix.";
constexpr char kTrooper[] = "trooper-graphics.mpi";      // 2 rows into graphics.drs
constexpr char kBlaster[] = "blaster-sound.mpi";         // 1 row into sounds.drs
constexpr char kLanguage[] = "unit-names-language.mpi";  // replaces language.dll
constexpr char kCcGraphics[] = "clone-campaigns-graphics.mpi";

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

json Parsed(const Ran& ran) {
  json result = json::parse(ran.out, nullptr, false);
  EXPECT_FALSE(result.is_discarded()) << ran.out;
  return result;
}

TEST(CliListTest, ModsNewestFirstWithTheirState) {
  CliScene scene;
  EXPECT_EQ(scene.Run({"list"}).out, "None\n");
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kTrooper)}).status, 0);
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kBlaster)}).status, 0);
  // An install that stopped leaves its entry marked in the log.
  const std::string game = scene.GameHost() + "/";
  ModLog log;
  log.LogPath = scene.DataHost() + "/mods.log";
  fixtures::RecordingMessages messages;
  ASSERT_FALSE(ReadModLog(log, MakeGameFiles(game, scene.DataHost() + "/"), messages));
  log.Mods.push_back({"Half a mod (incomplete)", {}});
  ASSERT_FALSE(SaveModLog(log, messages));

  const Ran text = scene.Run({"list"});
  EXPECT_EQ(text.status, 0);
  EXPECT_EQ(text.out,
            "  No.  Changes  Package   State       Title\n"
            "    3        0  not kept  incomplete  Half a mod\n"
            "    2        1  kept      complete    Louder blaster sound\n"
            "    1        2  kept      complete    Striped trooper graphics\n");
  EXPECT_EQ(text.err, "");

  const Ran ran = scene.Run({"list", "--json"});
  EXPECT_EQ(ran.status, 0);
  const json result = Parsed(ran);
  EXPECT_EQ(result["ok"], true);
  EXPECT_EQ(result["mods"], json::parse(R"([
    {"number": 3, "title": "Half a mod", "changes": 0, "complete": false, "package_kept": false},
    {"number": 2, "title": "Louder blaster sound", "changes": 1, "complete": true,
     "package_kept": true},
    {"number": 1, "title": "Striped trooper graphics", "changes": 2, "complete": true,
     "package_kept": true}])"));
}

// The same package lands in other archives with and without the expansion.
TEST(CliShowTest, RowsWhereTheGameEditionPutsThem) {
  for (const bool cc : {true, false}) {
    SCOPED_TRACE(cc ? "with Clone Campaigns" : "without");
    CliScene scene(cc);
    const Tree before = ReadTree(scene.prefix);
    const Ran ran = scene.Run({"show", "--json", scene.Mod(kCcGraphics)});
    EXPECT_EQ(ran.status, 0);
    const json result = Parsed(ran);
    EXPECT_EQ(result["package"]["title"], "Clone Campaigns unit graphics");
    EXPECT_EQ(result["package"]["format"], "MPI 0.6");
    const json& row = result["package"]["resources"].at(0);
    EXPECT_EQ(row["kind"], "resource");
    EXPECT_EQ(row["id"], 3500);
    EXPECT_EQ(row["file"], "graphics_x1.drs");
    EXPECT_EQ(row["needs_clone_campaigns"], !cc);
    // Without the expansion the install would stop at that row, with the box it shows then.
    EXPECT_EQ(result["plan"]["refused"].is_null(), cc);
    if (!cc) {
      EXPECT_EQ(result["plan"]["refused"]["row"], 1);
    }

    const Ran text = scene.Run({"show", scene.Mod(kLanguage)});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(Has(text.out, "Title:     New unit names (language library)\n")) << text.out;
    EXPECT_TRUE(Has(text.out, "    1  file      language.dll              -")) << text.out;
    EXPECT_TRUE(Has(text.out, "  Replaces language.dll of the base game as a whole; the old\n"));
    // Showing reads; the log was already there after the first start.
    Tree after = ReadTree(scene.prefix);
    after.erase("drive_c/Program Files/LucasArts/Star Wars Galactic Battlegrounds/Data/mods.log");
    EXPECT_EQ(after, before);
  }
}

TEST(CliInstallRemoveTest, RoundTripGivesTheGameBackByteForByte) {
  CliScene scene;
  ASSERT_EQ(scene.Run({"list"}).status, 0);  // creates the log
  const Tree before = ReadTree(scene.GameHost());

  const Ran installed = scene.Run({"install", "--yes", "--json", scene.Mod(kLanguage)});
  EXPECT_EQ(installed.status, 0);
  EXPECT_EQ(installed.err, "Mod installed successfully\n");
  const json result = Parsed(installed);
  EXPECT_EQ(result["installed"],
            json({{"number", 1}, {"title", "New unit names (language library)"}, {"changes", 1}}));
  EXPECT_TRUE(fixtures::Exists(scene.GameHost() + "/language.dll.000"));

  const Ran second = scene.Run({"install", "-y", scene.Mod(kTrooper)});
  EXPECT_EQ(second.status, 0);
  // Not on a terminal: the package and the result, no progress bar.
  EXPECT_FALSE(Has(second.out + second.err, "\r")) << second.err;
  EXPECT_TRUE(Has(second.out, "Title:     Striped trooper graphics\n"));

  const Ran removed = scene.Run({"remove", "2", "--yes"});
  EXPECT_EQ(removed.status, 0);
  EXPECT_EQ(removed.out, "Removed mod 2: Striped trooper graphics\n");
  const json last = Parsed(scene.Run({"remove", "--yes", "--json"}));
  EXPECT_EQ(last["removed"]["number"], 1);
  EXPECT_EQ(last["messages"].at(0)["text"],
            "This will uninstall all the modifications made by the latest modpack that you have "
            "installed (New unit names (language library)). Do you wish to continue?");
  EXPECT_EQ(ReadTree(scene.GameHost()), before);
  // With no mod left, no package is kept.
  EXPECT_TRUE(std::filesystem::is_empty(scene.GameHost() + "/Data/tarnwick/packages"));
}

// The oldest of three comes off; the others are as if installed alone, in their order.
TEST(CliInstallRemoveTest, RemovingAnOlderModGivesTheOthersAsInstalledAlone) {
  const auto game_files = [](const CliScene& scene) {
    Tree tree = ReadTree(scene.GameHost());
    for (auto it = tree.begin(); it != tree.end();) {
      it = it->first.starts_with("Data/tarnwick/") ? tree.erase(it) : std::next(it);
    }
    return tree;
  };
  CliScene alone;
  for (const char* mod : {kTrooper, kBlaster}) {
    ASSERT_EQ(alone.Run({"install", "--yes", alone.Mod(mod)}).status, 0);
  }
  CliScene scene;
  for (const char* mod : {kLanguage, kTrooper, kBlaster}) {
    ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(mod)}).status, 0);
  }
  // The trooper mod's kept package is lost: its file is given, and only its own is taken.
  const json ledger = json::parse(fixtures::ReadAll(scene.DataHost() + "/tarnwick/ledger.json"));
  std::filesystem::remove(scene.DataHost() + "/tarnwick/packages/" +
                          ledger["mods"][1]["package"].get<std::string>() + ".mpi");
  const Ran missing = scene.Run({"remove", "1", "--yes"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.err,
                  "tarnwick remove 1 --package 2=FILE gives the package file of Striped trooper "
                  "graphics.\n"))
      << missing.err;
  const Ran wrong = scene.Run({"remove", "1", "--yes", "--package", "2=" + scene.Mod(kBlaster)});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_TRUE(Has(wrong.err,
                  "C:\\Mods\\blaster-sound.mpi is not the package of Striped trooper graphics: "
                  "installing it would not make the changes the log holds for that mod.\n"))
      << wrong.err;
  const Ran removed = scene.Run({"remove", "1", "--package", "2=" + scene.Mod(kTrooper), "--yes"});
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(removed.out, "Removed mod 1: New unit names (language library)\n");
  EXPECT_TRUE(Has(removed.err,
                  "Takes off Louder blaster sound and Striped trooper graphics, removes New unit "
                  "names (language library), puts back Striped trooper graphics then Louder "
                  "blaster sound.\n"))
      << removed.err;
  EXPECT_EQ(game_files(scene), game_files(alone));
  // Nothing is left to finish.
  const Ran resumed = scene.Run({"remove", "--resume"});
  EXPECT_EQ(resumed.status, 0);
  EXPECT_EQ(resumed.err, "No removal is waiting to be finished.\n");
}

// What `show` says an install would record is what the install records, value for value, for
// every sample mod stacked on the one before.
TEST(CliShowTest, ThePlanIsWhatTheLogRecords) {
  CliScene scene;
  ASSERT_EQ(scene.Run({"list"}).status, 0);
  const GameFiles files = MakeGameFiles(scene.GameHost() + "/", scene.DataHost() + "/");
  for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
    if (!mod.valid) continue;
    SCOPED_TRACE(mod.file_name);
    const json plan = Parsed(scene.Run({"show", "--json", scene.Mod(mod.file_name)}))["plan"];
    ASSERT_TRUE(plan["refused"].is_null());
    ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(mod.file_name)}).status, 0);
    ModLog log;
    log.LogPath = scene.DataHost() + "/mods.log";
    fixtures::RecordingMessages messages;
    ASSERT_FALSE(ReadModLog(log, files, messages));
    json recorded = json::array();
    for (const FileChange& c : log.Mods[log.ModCount()].Changes) {
      recorded.push_back({c.FileIndex, c.OldState, c.EntryPos, c.OldOffset, c.OldSize});
    }
    EXPECT_EQ(plan["changes"], recorded);
    EXPECT_FALSE(recorded.empty());
  }
}

// A package over two installed mods: one row the same bytes as the trooper mod's, one other bytes
// for its second entry, one entry no mod changed, and the language library as mod 1 left it.
TEST(CliShowTest, ConflictsWithInstalledModsAndWhatTheyChanged) {
  CliScene scene;
  for (const char* mod : {kLanguage, kTrooper}) {
    ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(mod)}).status, 0);
  }
  const std::vector<fixtures::SampleMod> samples = fixtures::SampleMods();
  const fixtures::MpiPackage& trooper = samples[0].package;
  const fixtures::MpiRow& language = samples[2].package.rows[0];
  fixtures::MpiPackage package = trooper;
  package.title = "Trooper graphics, reworked";
  package.rows[1].payload.back() ^= 0x7F;
  package.rows.push_back({1, 1, 2500, trooper.rows[0].payload, {}, {}});
  package.rows.push_back(language);
  const std::string path = scene.dir / "reworked.mpi";
  fixtures::WriteAll(path, fixtures::BuildMpi(package));
  const size_t appended = 2 * trooper.rows[0].payload.size() + trooper.rows[1].payload.size();

  const Ran text = scene.Run({"show", path});
  EXPECT_EQ(text.status, 0);
  EXPECT_TRUE(Has(text.out,
                  "Conflicts:\n"
                  "  row 1: graphics.drs id 100: identical to what mod 2 \"Striped trooper "
                  "graphics\" put there\n"
                  "  row 2: graphics.drs id 1000: overrides mod 2 \"Striped trooper graphics\"\n"
                  "  row 4: language.dll: identical to what mod 1 \"New unit names (language "
                  "library)\" put there\n"
                  "In all:\n"
                  "  4 changes, 1 overrides an installed mod, 2 identical\n"
                  "  Appended: graphics.drs " +
                      std::to_string(appended) +
                      " bytes\n"
                      // The replacing file and the backup of the one there.
                      "  Disk space needed: " +
                      std::to_string(appended + 2 * language.payload.size()) + " bytes\n"))
      << text.out;

  const json plan = Parsed(scene.Run({"show", "--json", path}))["plan"];
  const json trooper_mod = {{"number", 2}, {"title", "Striped trooper graphics"}};
  EXPECT_EQ(
      plan["conflicts"],
      json::array({{{"row", 1}, {"provider", trooper_mod}, {"status", "identical"}},
                   {{"row", 2}, {"provider", trooper_mod}, {"status", "overrides"}},
                   {{"row", 3}, {"provider", nullptr}, {"status", "new"}},
                   {{"row", 4},
                    {"provider", {{"number", 1}, {"title", "New unit names (language library)"}}},
                    {"status", "identical"}}}));
  EXPECT_EQ(plan["changes"].size(), 4u);
  EXPECT_EQ(plan["changes"][3], json::array({kLanguageDll, 1, 0, 0, 0}));
  EXPECT_EQ(plan["totals"]["conflicts"], 1);
  EXPECT_EQ(plan["totals"]["identical"], 2);
  EXPECT_EQ(plan["totals"]["bytes_appended"], json({{"graphics.drs", appended}}));

  // Installing shows the same before it asks; then the trooper mod's entries are the new mod's.
  const Ran installed = scene.Run({"install", "--yes", path});
  EXPECT_EQ(installed.status, 0);
  EXPECT_TRUE(Has(installed.out, "  row 2: graphics.drs id 1000: overrides mod 2"))
      << installed.out;
  const Ran older = scene.Run({"show", "2"});
  EXPECT_EQ(older.status, 0);
  EXPECT_TRUE(Has(older.out, "What it changes: Striped trooper graphics\n")) << older.out;
  EXPECT_TRUE(Has(older.out, "  2 changes, 2 overridden by later changes\n")) << older.out;
  EXPECT_TRUE(Has(older.out, "overridden by \"Trooper graphics, reworked\"")) << older.out;
  const json mod = Parsed(scene.Run({"show", "2", "--json"}))["mod"];
  EXPECT_EQ(mod["title"], "Striped trooper graphics");
  ASSERT_EQ(mod["records"].size(), 2u);
  EXPECT_EQ(mod["records"][1]["id"], 1000);
  EXPECT_EQ(mod["records"][1]["overridden_by"], json::array({3}));
  const Ran newest = scene.Run({"show", "3"});
  EXPECT_TRUE(Has(newest.out, "  4 changes, 0 overridden by later changes\n")) << newest.out;
  const Ran missing = scene.Run({"show", "4"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "There is no mod number 4; tarnwick list shows the numbers.\n");
  EXPECT_EQ(scene.Run({"show", "0"}).status, 2);
}

// Each is refused with its message and exit status 1, and leaves every file as it was.
TEST(CliRefusalTest, RefusedCommandsChangeNothing) {
  CliScene scene;
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kTrooper)}).status, 0);
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kBlaster)}).status, 0);
  const std::string empty = scene.dir / "empty";
  fixtures::MakeFolders(empty);
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string message;  // a line of standard error
  };
  const std::vector<Row> rows = {
      {"install, no terminal", {"install", scene.Mod(kLanguage)}, kNotAsked},
      {"install, no terminal, question",
       {"install", scene.Mod(kLanguage)},
       "Mod installation: Install New unit names (language library)?"},
      {"remove, no terminal",
       {"remove"},
       "Warning: This will uninstall all the modifications made by the latest modpack that you "
       "have installed (Louder blaster sound). Do you wish to continue?"},
      {"remove latest by number, no terminal", {"remove", "2"}, kNotAsked},
      {"remove an older mod, no terminal",
       {"remove", "1"},
       "Takes off Louder blaster sound, removes Striped trooper graphics, puts back Louder "
       "blaster sound."},
      {"remove an older mod, no terminal, question", {"remove", "1"}, kNotAsked},
      {"remove past the last",
       {"remove", "3", "-y"},
       "There is no mod number 3; tarnwick list shows the numbers."},
      {"a package file for a mod whose package is kept",
       {"remove", "2", "-y", "--package", "2=" + scene.Mod(kBlaster)},
       "Mod number 2 needs no package file: only a mod that is put back and whose package is not "
       "kept takes one."},
      {"invalid package",
       {"install", "--yes", scene.Mod("broken-package.mpi")},
       "Error: Specified MPI file is invalid or corrupted! Make sure you have the latest version "
       "of the mod installer."},
      {"missing package", {"show", scene.dir / "nowhere.mpi"}, "Error: Error opening mod!"},
      {"no game in the folder", {"--game", empty, "list"}, kNoGame},
  };
  const Tree before = ReadTree(scene.prefix);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Ran ran = scene.Run(row.args);
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(Has(ran.err, row.message + "\n")) << ran.err;
    EXPECT_EQ(ReadTree(scene.prefix), before);
  }
  const json refused = Parsed(scene.Run({"remove", "--json"}));
  EXPECT_EQ(refused["ok"], false);
  EXPECT_EQ(refused["exit_status"], 1);
  EXPECT_EQ(refused["declined"], true);
}

TEST(CliUsageTest, UsageErrorsExitWithTwoAndTouchNothing) {
  CliScene scene;
  const std::vector<std::vector<std::string>> rows = {
      {"--frobnicate", "list"},
      {"show"},
      {"install"},
      {"remove", "0"},
      {"remove", "x"},
      {"list", "extra"},
      {"lst"},
      {"--json"},
      {"--yes"},
      {"verify", "--prefix"},
      {"remove", "1", "--package", scene.Mod(kTrooper)},
      {"remove", "1", "--package", "0=" + scene.Mod(kTrooper)},
      {"remove", "1", "--package", "2=" + scene.Mod("none.mpi")},
      {"remove", "--resume", "--package", "2=" + scene.Mod(kTrooper)},
  };
  const Tree before = ReadTree(scene.prefix);
  for (const auto& args : rows) {
    SCOPED_TRACE(args.front());
    const Ran ran = scene.Run(args);
    EXPECT_EQ(ran.status, 2);
    EXPECT_EQ(ran.out, "");
    EXPECT_NE(ran.err, "");
  }
  EXPECT_EQ(ReadTree(scene.prefix), before);  // not even a log was created
}

TEST(CliUsageTest, HelpAndVersionOnStandardOutput) {
  CliScene scene;
  const Ran help = scene.RunBare({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* word : {"list", "show", "install", "remove", "verify", "--prefix", "--game",
                           "--json", "--yes", "--version"}) {
    EXPECT_TRUE(Has(help.out, word)) << word;
  }
  EXPECT_TRUE(Has(scene.RunBare({"remove", "--help"}).out, "--package POS=FILE"));
  const Ran version = scene.RunBare({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "tarnwick 0.81\n");
  // Without a screen the window is not attempted, and says why.
  const Ran window = scene.RunBare({"--prefix", scene.prefix});
  EXPECT_EQ(window.status, 1);
  EXPECT_TRUE(Has(window.err, "no screen")) << window.err;
}

// A game folder given directly: Clone Campaigns decided by its files.
TEST(CliGameFolderTest, GameFolderChosenDirectly) {
  for (const bool cc : {true, false}) {
    CliScene scene;
    const std::string game = scene.dir / "Some Game";
    ASSERT_FALSE(fixtures::WriteGameFolder(game, {.clone_campaigns = cc}));
    const json result = Parsed(scene.RunBare({"--game", game, "list", "--json"}));
    EXPECT_EQ(result["ok"], true);
    EXPECT_EQ(result["game"]["clone_campaigns"], cc);
    EXPECT_TRUE(fixtures::Exists(game + "/Data/mods.log"));
  }
}

// --prefix reads that prefix alone, in either registry view; $WINEPREFIX does not count then.
TEST(CliGameFolderTest, PrefixChosenAlone) {
  for (const bool wow6432_node : {true, false}) {
    CliScene scene;  // with Clone Campaigns, named by $WINEPREFIX below
    const std::string other = scene.dir / "32-bit";
    ASSERT_FALSE(fixtures::WriteWinePrefix(other, {.cc_game_path = std::nullopt,
                                                   .base_game_path = "C:\\Games\\SWGB\\",
                                                   .wow6432_node = wow6432_node}));
    ASSERT_FALSE(
        fixtures::WriteGameFolder(other + "/drive_c/Games/SWGB", {.clone_campaigns = true}));
    const Ran ran = RunProgram(TARNWICK_PROGRAM, {"--prefix", other, "list", "--json"},
                               ProgramEnvironment(scene.dir.path(), {"WINEPREFIX=" + scene.prefix}),
                               scene.dir / "run");
    const json result = Parsed(ran);
    EXPECT_EQ(result["game"]["game_path"], "C:\\Games\\SWGB\\");
    EXPECT_EQ(result["game"]["clone_campaigns"], false);  // no expansion key in this prefix
  }
}

TEST(CliGameFolderTest, DamagedLogEndsEveryCommand) {
  CliScene scene;
  fixtures::WriteAll(scene.DataHost() + "/mods.log", "Mod Log v2.1\r\n** DO NOT ALTER **\r\n7\r\n");
  for (const char* command : {"list", "verify", "remove"}) {
    const Ran ran = scene.Run({command, "--yes"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err, "Error: Error reading from log file!\n");
  }
}

TEST(CliVerifyTest, ShowsEachFileAndRefusesToWriteOnChangedFilesUntilToldToStartOver) {
  CliScene scene;
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kLanguage)}).status, 0);
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kTrooper)}).status, 0);
  const Ran clean = scene.Run({"verify"});
  EXPECT_EQ(clean.status, 0);
  EXPECT_TRUE(Has(clean.out, "graphics.drs          as Tarnwick left it\n")) << clean.out;
  EXPECT_TRUE(Has(clean.out, "language.dll.000      as Tarnwick left it\n")) << clean.out;
  EXPECT_TRUE(Has(clean.out, "Mod 2: Striped trooper graphics (package kept)\n")) << clean.out;

  // The trooper mod grew graphics.drs; a byte less than the log records is drift.
  const std::string graphics = scene.DataHost() + "/graphics.drs";
  std::filesystem::resize_file(graphics, std::filesystem::file_size(graphics) - 1);
  std::filesystem::remove(scene.GameHost() + "/language.dll.000");
  const Ran ran = scene.Run({"verify", "--json"});
  EXPECT_EQ(ran.status, 1);
  const json result = Parsed(ran);
  const json findings = result["findings"];
  ASSERT_EQ(findings.size(), 2u) << findings.dump();
  EXPECT_EQ(findings[0]["kind"], "archive_shorter");
  EXPECT_TRUE(std::filesystem::equivalent(findings[0]["file"].get<std::string>(), graphics));
  EXPECT_EQ(findings[0]["text"], "graphics.drs is shorter than Tarnwick left it.");
  EXPECT_EQ(findings[1]["kind"], "backup_missing");
  EXPECT_EQ(findings[1]["backup"], 0);
  EXPECT_EQ(findings[1]["text"], "language.dll.000, the backup of language.dll, is missing.");
  for (const json& file : result["files"]) {
    if (file["name"] == "graphics.drs") {
      EXPECT_EQ(file["state"], "changed since");
    }
    if (file["name"] == "language.dll.000") {
      EXPECT_EQ(file["state"], "missing");
    }
    if (file["name"] == "terrain.drs") {
      EXPECT_EQ(file["state"], "as Tarnwick left it");
    }
  }
  EXPECT_TRUE(Has(ran.err, "Steam may have verified the game files"));

  // Without a terminal nothing is asked and nothing written, --yes or not.
  const Tree drifted = ReadTree(scene.GameHost());
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"remove", "--yes"},
        std::vector<std::string>{"install", "--yes", scene.Mod(kLanguage)},
        std::vector<std::string>{"remove", "--yes", "--carry-on"}}) {
    const Ran refused = scene.Run(args);
    EXPECT_EQ(refused.status, 1) << args[0];
    EXPECT_TRUE(Has(refused.err, "graphics.drs is shorter than Tarnwick left it.")) << refused.err;
    EXPECT_EQ(ReadTree(scene.GameHost()), drifted) << args[0];
  }

  // Starting over empties the list; the game then installs and removes byte for byte.
  const Ran restarted = scene.Run({"remove", "--yes", "--start-over"});
  EXPECT_EQ(restarted.status, 1);
  EXPECT_TRUE(Has(restarted.err, "Tarnwick started over from the game as it is now"));
  EXPECT_EQ(Parsed(scene.Run({"list", "--json"}))["mods"].size(), 0u);
  Tree game_now = ReadTree(scene.GameHost());
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kTrooper)}).status, 0);
  ASSERT_EQ(scene.Run({"remove", "--yes"}).status, 0);
  Tree after = ReadTree(scene.GameHost());
  for (Tree* tree : {&after, &game_now}) {
    std::erase_if(*tree, [](const auto& item) { return item.first.starts_with("Data/tarnwick/"); });
  }
  EXPECT_EQ(after, game_now);
}

}  // namespace
}  // namespace tarnwick::testing
