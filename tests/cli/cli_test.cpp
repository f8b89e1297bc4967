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
    // No plan yet: nothing is claimed about the changes.
    EXPECT_FALSE(result.contains("changes"));

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
      {"remove an older mod",
       {"remove", "1", "--yes"},
       "Only the latest mod (number 2) can be removed for now; remove the mods above mod 1 first, "
       "newest first."},
      {"remove past the last",
       {"remove", "3", "-y"},
       "There is no mod number 3; tarnwick list shows the numbers."},
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
      {"--frobnicate", "list"}, {"show"}, {"install"}, {"remove", "0"}, {"remove", "x"},
      {"list", "extra"},        {"lst"},  {"--json"},  {"--yes"},       {"verify", "--prefix"},
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

TEST(CliVerifyTest, FindsShortArchivesAndMissingBackups) {
  CliScene scene;
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kLanguage)}).status, 0);
  ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(kTrooper)}).status, 0);
  const Ran clean = scene.Run({"verify"});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out, "The game files match the mod log.\n");

  // The trooper mod grew graphics.drs; cutting one byte off what the log records is drift.
  const std::string graphics = scene.DataHost() + "/graphics.drs";
  std::filesystem::resize_file(graphics, std::filesystem::file_size(graphics) - 1);
  std::filesystem::remove(scene.GameHost() + "/language.dll.000");
  const Ran ran = scene.Run({"verify", "--json"});
  EXPECT_EQ(ran.status, 1);
  const json findings = Parsed(ran)["findings"];
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0]["kind"], "archive_shorter");
  EXPECT_TRUE(std::filesystem::equivalent(findings[0]["file"].get<std::string>(), graphics));
  EXPECT_EQ(findings[1]["kind"], "backup_missing");
  EXPECT_EQ(findings[1]["mod"], 1);
  EXPECT_EQ(findings[1]["text"],
            "The backup language.dll.000 of mod 1 (New unit names (language library)) is "
            "missing; removing it cannot restore language.dll.");
  EXPECT_TRUE(Has(ran.err, "The game files have changed since the mod log was written"));
}

}  // namespace
}  // namespace tarnwick::testing
