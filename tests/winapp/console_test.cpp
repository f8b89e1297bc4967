// tarnwick.exe as a script on Windows runs it: the commands on a game written into the Wine
// prefix and found through its registry keys, with their output, messages and exit status.
// The same cases as the command line's own tests, on the Windows build.
#include "winapp/window_driver.h"
// (window_driver.h brings <windows.h> first)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/files.h"
#include "winapp/window_names.h"
#include "writers/game_folder.h"
#include "writers/sandbox.h"

namespace tarnwick::winapp_tests {
namespace {

constexpr wchar_t kCcKey[] =
    L"Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    L"Campaigns\\1.0";
constexpr wchar_t kBaseKey[] =
    L"Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0";
constexpr char kNotAsked[] =
    "Nothing was changed: there is no terminal to ask on. Add --yes to go ahead without the "
    "question.";

std::wstring g_console;  // tarnwick.exe, from the command line

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

void SetGamePath(const wchar_t* key, const std::string& value) {
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
  const std::wstring wide(value.begin(), value.end());
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(handle, L"Game Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(handle);
}

// The game with Clone Campaigns, registered in the prefix, and the sample mods beside it.
class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(fixtures::WriteGameFolder(game_, {}));
    SetGamePath(kCcKey, game_ + "\\");
    SetGamePath(kBaseKey, game_ + "\\");
    for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
      ASSERT_FALSE(fixtures::WriteHostFile(Mod(mod.file_name), BuildMpi(mod.package)));
    }
  }
  std::string Mod(const std::string& file_name) const { return dir_ / ("Mods\\" + file_name); }
  Ran Run(const std::vector<std::string>& args) const { return RunConsole(g_console, dir_, args); }

  fixtures::TempDir dir_;
  std::string game_ = dir_ / "Game";
};

TEST_F(ConsoleTest, InstallsListsVerifiesAndRemovesByteForByte) {
  EXPECT_EQ(Run({"list"}).out, "None\n");  // creates the log
  const Tree before = ReadTree(game_);

  const Ran shown = Run({"show", Mod("unit-names-language.mpi")});
  EXPECT_EQ(shown.status, 0u);
  EXPECT_TRUE(Has(shown.out, "Title:     New unit names (language library)\n")) << shown.out;
  EXPECT_TRUE(Has(shown.out, "    1  file      language.dll              -")) << shown.out;

  const Ran installed = Run({"install", "--yes", Mod("unit-names-language.mpi")});
  EXPECT_EQ(installed.status, 0u);
  EXPECT_EQ(installed.err, "Mod installed successfully\n");
  EXPECT_TRUE(fixtures::Exists(game_ + "\\language.dll.000"));
  ASSERT_EQ(Run({"install", "-y", Mod("trooper-graphics.mpi")}).status, 0u);
  const Ran listed = Run({"list"});
  EXPECT_EQ(listed.out,
            "  No.  Changes  Package   State       Title\n"
            "    2        2  kept      complete    Striped trooper graphics\n"
            "    1        1  kept      complete    New unit names (language library)\n");
  const Ran verified = Run({"verify"});
  EXPECT_EQ(verified.status, 0u);
  EXPECT_TRUE(Has(verified.out, "graphics.drs          as Tarnwick left it\n")) << verified.out;
  EXPECT_TRUE(Has(verified.out, "language.dll.000      as Tarnwick left it\n")) << verified.out;
  EXPECT_TRUE(Has(verified.out, "Mod 1: New unit names (language library) (package kept)"))
      << verified.out;
  EXPECT_FALSE(Has(verified.out, "changed since")) << verified.out;

  const Ran removed = Run({"remove", "2", "--yes"});
  EXPECT_EQ(removed.status, 0u);
  EXPECT_EQ(removed.out, "Removed mod 2: Striped trooper graphics\n");
  EXPECT_EQ(Run({"remove", "--yes"}).status, 0u);
  // Tarnwick's own records stay beside the log; every game file is as it was.
  Tree after = ReadTree(game_);
  std::erase_if(after, [](const auto& file) { return file.first.starts_with("Data\\tarnwick\\"); });
  EXPECT_EQ(Differing(before, after), std::vector<std::string>{});
}

// Each is refused with its message and exit status 1, and leaves every file as it was.
TEST_F(ConsoleTest, RefusedCommandsChangeNothing) {
  ASSERT_EQ(Run({"install", "--yes", Mod("trooper-graphics.mpi")}).status, 0u);
  const std::string empty = dir_ / "empty";
  fixtures::MakeFolders(empty);
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::string message;  // a line of standard error
  };
  const std::vector<Row> rows = {
      {"install, no terminal", {"install", Mod("blaster-sound.mpi")}, kNotAsked},
      {"remove, no terminal",
       {"remove"},
       "Warning: This will uninstall all the modifications made by the latest modpack that you "
       "have installed (Striped trooper graphics). Do you wish to continue?"},
      {"invalid package",
       {"install", "--yes", Mod("broken-package.mpi")},
       "Error: Specified MPI file is invalid or corrupted! Make sure you have the latest version "
       "of the mod installer."},
      {"missing package", {"show", dir_ / "nowhere.mpi"}, "Error: Error opening mod!"},
      {"no game in the folder",
       {"--game", empty, "list"},
       "Error: Unable to find SWGB! Please ensure that it is correctly installed and that it has "
       "been run at least once."},
  };
  Tree before = ReadTree(dir_.path());
  before.erase("out.txt");
  before.erase("err.txt");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Ran ran = Run(row.args);
    EXPECT_EQ(ran.status, 1u);
    EXPECT_TRUE(Has(ran.err, row.message + "\n")) << ran.err;
    Tree after = ReadTree(dir_.path());
    after.erase("out.txt");
    after.erase("err.txt");
    EXPECT_EQ(Differing(before, after), std::vector<std::string>{});
  }
}

TEST_F(ConsoleTest, UsageErrorsHelpAndVersion) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--frobnicate", "list"}, {"install"}, {"remove", "x"}, {"lst"}}) {
    const Ran ran = Run(args);
    EXPECT_EQ(ran.status, 2u) << args.front();
    EXPECT_EQ(ran.out, "");
    EXPECT_NE(ran.err, "");
  }
  const Ran help = Run({"--help"});
  EXPECT_EQ(help.status, 0u);
  for (const char* word : {"list", "show", "install", "remove", "verify", "--game", "--json"}) {
    EXPECT_TRUE(Has(help.out, word)) << word;
  }
  EXPECT_EQ(Run({"--version"}).out, "tarnwick 0.81\n");
}

// Without a command the console program hands over to the window program beside it and ends.
TEST_F(ConsoleTest, OpensTheWindowWithoutACommand) {
  const Ran ran = Run({});
  EXPECT_EQ(ran.status, 0u);
  EXPECT_EQ(ran.out + ran.err, "");
  HWND form = nullptr;
  for (int i = 0; i < 200 && form == nullptr; ++i) {
    form = ::FindWindowW(winapp::kInstallerFormClass, nullptr);
    if (form == nullptr) ::Sleep(50);
  }
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Text(form), L"Tarnwick (v0.81 - beta) - CC found");
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  for (int i = 0; i < 200 && ::IsWindow(form); ++i) ::Sleep(50);
  EXPECT_FALSE(::IsWindow(form));
}

}  // namespace
}  // namespace tarnwick::winapp_tests

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fputs("usage: console_tests PATH_OF_TARNWICK_EXE\n", stderr);
    return 2;
  }
  tarnwick::winapp_tests::g_console = tarnwick::winapp_tests::WindowsPath(argv[1]);
  return RUN_ALL_TESTS();
}
