#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_scene.h"
#include "command_script.h"
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

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

json Parsed(const Ran& ran) {
  json result = json::parse(ran.out, nullptr, false);
  EXPECT_FALSE(result.is_discarded()) << ran.out;
  return result;
}

TEST(CliTest, TheCommandScript) {
  CliScene scene;
  const std::string empty = scene.dir / "empty";
  fixtures::MakeFolders(empty);
  ExpectCommandScript([&scene](const char* name) { return scene.Mod(name); }, empty,
                      [&scene](const std::vector<std::string>& args) { return scene.Run(args); },
                      [&scene] { return ReadTree(scene.prefix); });
  const std::string help = scene.Run({"--help"}).out;
  for (const char* word : {"list", "show", "install", "remove", "verify", "--prefix", "--game",
                           "--json", "--yes", "--version"}) {
    EXPECT_TRUE(Has(help, word)) << word;
  }
}

// One game through the results as JSON, a mod below others removed with the package file of one
// put back, and files changed under Tarnwick.
TEST(CliTest, ResultsAsJsonAnOlderModRemovedAndChangedFiles) {
  CliScene scene;
  const Ran installed = scene.Run({"install", "--yes", "--json", scene.Mod(kLanguage)});
  EXPECT_EQ(installed.err, "Mod installed successfully\n");
  EXPECT_EQ(Parsed(installed)["installed"],
            json({{"number", 1}, {"title", "New unit names (language library)"}, {"changes", 1}}));
  for (const char* mod : {kTrooper, kBlaster}) {
    ASSERT_EQ(scene.Run({"install", "--yes", scene.Mod(mod)}).status, 0);
  }
  // Refused at its second row: the first stays installed, the mod marked incomplete.
  fixtures::MpiPackage half;
  half.title = "Half a mod";
  half.rows = {{1, 1, 100, "new bytes", {}, {}}, {5, 200, 0, "no such file code", {}, {}}};
  fixtures::WriteAll(scene.Mod("half.mpi"), fixtures::BuildMpi(half));
  EXPECT_EQ(scene.Run({"install", "--yes", scene.Mod("half.mpi")}).status, 1);
  // The blaster mod's kept package is lost.
  const json ledger = json::parse(fixtures::ReadAll(scene.DataHost() + "/tarnwick/ledger.json"));
  std::filesystem::remove(scene.DataHost() + "/tarnwick/packages/" +
                          ledger["mods"][2]["package"].get<std::string>() + ".mpi");

  const Ran text = scene.Run({"list"});
  EXPECT_EQ(text.out,
            "  No.  Changes  Package   State       Title\n"
            "    4        1  not kept  incomplete  Half a mod\n"
            "    3        1  not kept  complete    Louder blaster sound\n"
            "    2        2  kept      complete    Striped trooper graphics\n"
            "    1        1  kept      complete    New unit names (language library)\n");
  EXPECT_EQ(text.err, "");
  const json listed = Parsed(scene.Run({"list", "--json"}));
  EXPECT_EQ(listed["ok"], true);
  EXPECT_EQ(listed["mods"][0], json::parse(R"({"number": 4, "title": "Half a mod", "changes": 1,
                                               "complete": false, "package_kept": false})"));
  EXPECT_EQ(listed["mods"].size(), 4u);

  const Ran declined = scene.Run({"remove", "--json"});
  EXPECT_EQ(declined.status, 1);
  const json refused = Parsed(declined);
  EXPECT_EQ(refused["ok"], false);
  EXPECT_EQ(refused["exit_status"], 1);
  EXPECT_EQ(refused["declined"], true);
  const json last = Parsed(scene.Run({"remove", "--yes", "--json"}));
  EXPECT_EQ(last["removed"]["number"], 4);
  EXPECT_EQ(last["messages"].at(0)["text"],
            "This will uninstall all the modifications made by the latest modpack that you have "
            "installed (Half a mod (incomplete)). Do you wish to continue?");

  // The trooper mod comes off from under the blaster mod, whose package file is given.
  const std::string sounds = scene.DataHost() + "/sounds.drs";
  const std::string shorter = "sounds.drs is shorter than Tarnwick left it.\n";
  const auto run = [&scene](const std::vector<std::string>& args) { return scene.Run(args); };
  const auto files = [&scene] { return ReadTree(scene.prefix); };
  ExpectCommands(
      {{{"remove", "2", "--yes"},
        1,
        "",
        "tarnwick remove 2 --package 3=FILE gives the package file of Louder blaster sound.\n"},
       {{"remove", "2", "--yes", "--package", "3=" + scene.Mod(kTrooper)},
        1,
        "",
        "C:\\Mods\\trooper-graphics.mpi is not the package of Louder blaster sound: installing it "
        "would not make the changes the log holds for that mod.\n"},
       {{"remove", "2", "--package", "3=" + scene.Mod(kBlaster), "--yes"},
        0,
        "Removed mod 2: Striped trooper graphics\n",
        "Takes off Louder blaster sound, removes Striped trooper graphics, puts back Louder "
        "blaster sound.\n",
        true},
       {{"remove", "--resume"}, 0, "", "No removal is waiting to be finished.\n"}},
      run, files);

  // The blaster mod grew sounds.drs; a byte less than the log records is a change.
  std::filesystem::resize_file(sounds, std::filesystem::file_size(sounds) - 1);
  std::filesystem::remove(scene.GameHost() + "/language.dll.000");
  const Ran verified = scene.Run({"verify", "--json"});
  EXPECT_EQ(verified.status, 1);
  EXPECT_TRUE(Has(verified.err, "Steam may have verified the game files"));
  const json result = Parsed(verified);
  const json findings = result["findings"];
  ASSERT_EQ(findings.size(), 2u) << findings.dump();
  EXPECT_EQ(findings[0]["kind"], "archive_shorter");
  EXPECT_TRUE(std::filesystem::equivalent(findings[0]["file"].get<std::string>(), sounds));
  EXPECT_EQ(findings[0]["text"].get<std::string>() + "\n", shorter);
  EXPECT_EQ(findings[1]["kind"], "backup_missing");
  EXPECT_EQ(findings[1]["backup"], 0);
  EXPECT_EQ(findings[1]["text"], "language.dll.000, the backup of language.dll, is missing.");
  EXPECT_EQ(result["files"].at(3)["name"], "sounds.drs");
  EXPECT_EQ(result["files"].at(3)["state"], "changed since");

  // Without a terminal nothing is asked and nothing written, --yes or not; starting over empties
  // the list.
  ExpectCommands({{{"remove", "--yes"}, 1, "", shorter},
                  {{"install", "--yes", scene.Mod(kLanguage)}, 1, "", shorter},
                  {{"remove", "--yes", "--carry-on"}, 1, "", shorter},
                  {{"remove", "--yes", "--start-over"},
                   1,
                   "",
                   "Tarnwick started over from the game as it is now",
                   true},
                  {{"list"}, 0, "None\n"}},
                 run, files);
}

// A package over two installed mods: one row the same bytes as the trooper mod's, one other bytes
// for its second entry, one entry no mod changed, and the language library as mod 1 left it. What
// show says an install would record is what the install records, value for value.
TEST(CliTest, ShowConflictsWithInstalledModsAndWhatTheyChanged) {
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
  EXPECT_TRUE(plan["refused"].is_null());
  EXPECT_EQ(plan["totals"]["conflicts"], 1);
  EXPECT_EQ(plan["totals"]["identical"], 2);
  EXPECT_EQ(plan["totals"]["bytes_appended"], json({{"graphics.drs", appended}}));

  // Installing shows the same before it asks, and records what the plan said.
  const Ran installed = scene.Run({"install", "--yes", path});
  EXPECT_EQ(installed.status, 0);
  EXPECT_TRUE(Has(installed.out, "  row 2: graphics.drs id 1000: overrides mod 2"))
      << installed.out;
  ModLog log;
  log.LogPath = scene.DataHost() + "/mods.log";
  fixtures::RecordingMessages messages;
  ASSERT_FALSE(
      ReadModLog(log, MakeGameFiles(scene.GameHost() + "/", scene.DataHost() + "/"), messages));
  json recorded = json::array();
  for (const FileChange& c : log.Mods[3].Changes) {
    recorded.push_back({c.FileIndex, c.OldState, c.EntryPos, c.OldOffset, c.OldSize});
  }
  EXPECT_EQ(plan["changes"], recorded);
  EXPECT_EQ(plan["changes"][3], json::array({kLanguageDll, 1, 0, 0, 0}));

  // Then the trooper mod's entries are the new mod's.
  const Ran older = scene.Run({"show", "2"});
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
}

// The game where the options say it is: a folder given directly, the expansion decided by its
// files; or a prefix read alone, whatever $WINEPREFIX names. Without the expansion its graphic
// would stop the install. A damaged log ends every command; without a command and a screen the
// window is not attempted.
TEST(CliTest, TheGameWhereTheOptionsSayItIs) {
  CliScene scene;  // with Clone Campaigns, named by $WINEPREFIX
  const std::string other = scene.dir / "32-bit";
  ASSERT_FALSE(fixtures::WriteWinePrefix(
      other, {.cc_game_path = std::nullopt, .base_game_path = "C:\\Games\\SWGB\\"}));
  ASSERT_FALSE(fixtures::WriteGameFolder(other + "/drive_c/Games/SWGB", {.clone_campaigns = true}));
  const std::string base = scene.dir / "Base Game";
  ASSERT_FALSE(fixtures::WriteGameFolder(base, {.clone_campaigns = false}));
  const auto z = [](std::string host) {
    std::replace(host.begin(), host.end(), '/', '\\');
    return "Z:" + host + "\\";
  };
  const struct {
    std::vector<std::string> args;
    bool cc;
    std::string game_path;
  } rows[] = {{{"--prefix", other}, false, "C:\\Games\\SWGB\\"},  // no expansion key there
              {{"--game", base}, false, z(base)},
              {{"--game", scene.GameHost()}, true, z(scene.GameHost())}};
  const std::string cc_graphics = scene.Mod("clone-campaigns-graphics.mpi");
  for (const auto& row : rows) {
    const auto run = [&](const std::vector<std::string>& command) {
      std::vector<std::string> args = row.args;
      args.insert(args.end(), command.begin(), command.end());
      return Parsed(RunProgram(TARNWICK_PROGRAM, args,
                               ProgramEnvironment(scene.dir.path(), {"WINEPREFIX=" + scene.prefix}),
                               scene.dir / "run"));
    };
    EXPECT_EQ(run({"list", "--json"})["game"],
              json({{"clone_campaigns", row.cc}, {"game_path", row.game_path}}));
    // Without the expansion its graphic would stop the install at that row.
    const json shown = run({"show", "--json", cc_graphics});
    EXPECT_EQ(shown["package"]["title"], "Clone Campaigns unit graphics");
    EXPECT_EQ(shown["package"]["format"], "MPI 0.6");
    json resource = json::parse(R"({"number": 1, "kind": "resource", "type_code": 1,
      "target_code": 1, "file": "graphics_x1.drs", "file_index": 21, "id": 3500, "size": 190})");
    resource["needs_clone_campaigns"] = !row.cc;
    EXPECT_EQ(shown["package"]["resources"], json::array({resource}));
    const json& refused = shown["plan"]["refused"];
    EXPECT_EQ(refused.is_null() ? 0 : refused["row"].get<int>(), row.cc ? 0 : 1);
  }
  EXPECT_TRUE(fixtures::Exists(base + "/Data/mods.log"));

  fixtures::WriteAll(base + "/Data/mods.log", "Mod Log v2.1\r\n** DO NOT ALTER **\r\n7\r\n");
  for (const char* command : {"list", "verify", "remove"}) {
    const Ran ran = scene.RunBare({"--game", base, command, "--yes"});
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err, "Error: Error reading from log file!\n");
  }
  const Ran window = scene.RunBare({"--prefix", scene.prefix});
  EXPECT_EQ(window.status, 1);
  EXPECT_TRUE(Has(window.err, "no screen")) << window.err;
}

}  // namespace
}  // namespace tarnwick::testing
