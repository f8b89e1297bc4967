// The window program as a player meets it, started under Wine on a game written into the prefix:
// its windows found by class and caption, read and pressed from outside.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "ledger/ledger.h"
#include "manage/change_table.h"
#include "manage/game_session.h"
#include "manage/install_package.h"
#include "manage/mod_records.h"
#include "manage/remove_any.h"
#include "winapp/window_driver.h"
#include "winapp/window_names.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"
#include "writers/sandbox.h"

namespace tarnwick::winapp_tests {
namespace {

using namespace tarnwick::winapp;  // NOLINT: the window's class names and control ids

constexpr wchar_t kCcKey[] =
    L"Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    L"Campaigns\\1.0";
constexpr wchar_t kBaseKey[] =
    L"Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0";
constexpr wchar_t kSettingsKey[] = L"Software\\Tarnwick\\Open";
constexpr wchar_t kNoGame[] =
    L"Unable to find SWGB! Please ensure that it is correctly installed and that it has been run "
    L"at least once.";
constexpr wchar_t kNoBaseFiles[] =
    L"Unable to find SWGB data files! Please ensure that the game is correctly installed.";
constexpr wchar_t kNoCcFiles[] =
    L"Unable to find CC data files! Please ensure that the game is correctly installed.";
constexpr wchar_t kInvalid[] =
    L"Specified MPI file is invalid or corrupted! Make sure you have the latest version of the "
    L"mod installer.";

// LVM_GETITEMCOUNT, without <commctrl.h> and its ordering needs.
constexpr UINT kListViewItemCount = 0x1000 + 4;

std::wstring g_program;  // tarnwick-win.exe, from the command line
std::wstring g_console;  // tarnwick.exe beside it

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Writes (or, with no value, deletes) a "Game Path" key where the 32-bit game's installer puts it.
void SetGamePath(const wchar_t* key, const std::wstring* value) {
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
  if (value == nullptr) return;
  HKEY handle = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &handle, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(handle, L"Game Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(handle);
}

std::wstring RememberedFolder() {
  wchar_t buffer[512] = {};
  DWORD size = sizeof(buffer);
  if (::RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"Last directory", RRF_RT_REG_SZ, nullptr,
                     buffer, &size) != ERROR_SUCCESS) {
    return L"<unset>";
  }
  return buffer;
}

fixtures::MpiPackage Package(const std::string& title, const std::string& readme) {
  fixtures::MpiPackage package;
  package.title = title;
  package.readme = readme;
  package.rows = {{1, 1, 100, "new graphic bytes", {}, {}}};  // a graphic graphics.drs has
  return package;
}

// The game with Clone Campaigns in a fresh folder, found through the registry keys `cc` and
// `base` (false: no key); nothing remembered.
class WindowTest : public ::testing::Test {
 protected:
  void WriteGame(bool cc, bool base) {
    game_ = dir_.path() + "\\game\\";
    ASSERT_FALSE(fixtures::WriteGameFolder(dir_.path() + "\\game", {}));
    const std::wstring path = Wide(game_);
    SetGamePath(kCcKey, cc ? &path : nullptr);
    SetGamePath(kBaseKey, base ? &path : nullptr);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Tarnwick");
  }
  std::string WriteMod(const std::string& name, const fixtures::MpiPackage& package) {
    const std::string path = dir_.path() + "\\Mods\\" + name;
    EXPECT_FALSE(fixtures::WriteHostFile(path, BuildMpi(package)));
    return path;
  }
  // Starts the program and waits for its main window.
  HWND Start(const std::wstring& arguments = L"") {
    program_ = std::make_unique<Program>(g_program, arguments);
    if (!program_->started()) return nullptr;
    return WaitForWindow(program_->id(), kInstallerFormClass);
  }
  Box NextBox() { return WaitForBox(program_->id()); }
  // The sample mods installed into the game by the command line, oldest first.
  void InstallSamples(const std::vector<std::string>& file_names) {
    for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
      ASSERT_FALSE(
          fixtures::WriteHostFile(dir_ / ("Mods\\" + mod.file_name), BuildMpi(mod.package)));
    }
    for (const std::string& name : file_names) {
      const Ran ran = RunConsole(g_console, dir_, {"install", "--yes", dir_ / ("Mods\\" + name)});
      ASSERT_EQ(ran.status, 0u) << name << ": " << ran.err;
    }
  }
  // The game's files but Tarnwick's own records.
  Tree GameFiles() const {
    Tree tree = ReadTree(game_);
    std::erase_if(tree,
                  [](const auto& file) { return file.first.starts_with("Data\\tarnwick\\"); });
    return tree;
  }
  // The game's files with only these mods installed, in a game written afresh where the next one
  // is written.
  Tree FreshInstallOf(const std::vector<std::string>& file_names) {
    WriteGame(true, true);
    InstallSamples(file_names);
    const Tree tree = GameFiles();
    std::filesystem::remove_all(game_);
    return tree;
  }
  // Title box, Install and Readme buttons as they stand.
  void ExpectOffered(HWND form, const std::wstring& title) {
    EXPECT_EQ(WaitForText(::GetDlgItem(form, kTitleBox), title.empty() ? L"[none]" : title),
              title.empty() ? L"[none]" : title);
    EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(form, kInstallModButton)) != 0, !title.empty());
    EXPECT_EQ(::IsWindowEnabled(::GetDlgItem(form, kReadmeButton)) != 0, !title.empty());
    EXPECT_EQ(Text(::GetDlgItem(form, kInstallModButton)), L"Install");
  }

  fixtures::TempDir dir_;
  std::string game_;
  std::unique_ptr<Program> program_;
};

TEST_F(WindowTest, StartsOnTheGameAsDesigned) {
  WriteGame(true, true);
  const HWND form = Start();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Text(form), L"Tarnwick (v0.81 - beta) - CC found");
  RECT client{};
  ::GetClientRect(form, &client);
  EXPECT_EQ(client.right, 424);  // 6360 x 3465 twips at 96 dots per inch
  EXPECT_EQ(client.bottom, 231);
  struct Control {
    int id;
    const wchar_t* kind;
    const wchar_t* text;
    RECT rect;  // pixels
    bool enabled;
  };
  const Control controls[] = {
      {kOpenModButton, L"Button", L"Open mod", {8, 8, 81, 33}, true},
      {kInstallModButton, L"Button", L"Install", {8, 32, 81, 57}, false},
      {kReadmeButton, L"Button", L"Display readme for mod", {96, 8, 169, 57}, false},
      {kCurrentModLabel, L"Static", L"Current mod:", {8, 64, 105, 80}, true},
      {kModsInstalledLabel, L"Static", L"Mods installed:", {184, 8, 281, 25}, true},
      {kRemoveButton, L"Button", L"Remove latest", {184, 0, 273, 0}, false},
  };
  for (const Control& c : controls) {
    const HWND control = ::GetDlgItem(form, c.id);
    wchar_t kind[32] = {};
    ::GetClassNameW(control, kind, 32);
    EXPECT_EQ(_wcsicmp(kind, c.kind), 0) << c.text;
    EXPECT_EQ(Text(control), c.text);
    EXPECT_EQ(::IsWindowEnabled(control) != 0, c.enabled) << c.text;
    const RECT at = PlacedAt(control);
    EXPECT_EQ(at.left, c.rect.left) << c.text;
    if (c.id != kRemoveButton) {
      EXPECT_EQ(at.top, c.rect.top) << c.text;
      EXPECT_EQ(at.right, c.rect.right) << c.text;
      EXPECT_EQ(at.bottom, c.rect.bottom) << c.text;
    }
  }
  ExpectOffered(form, L"");
  // No mods: "None", and "Remove latest" directly below it.
  const HWND list = ::GetDlgItem(form, kModsInstalledBox);
  EXPECT_EQ(Text(list), L"None");
  EXPECT_EQ(PlacedAt(::GetDlgItem(form, kRemoveButton)).top, PlacedAt(list).bottom);

  // Help and About answer in information boxes; Exit ends the program.
  for (const auto& [item, title] :
       {std::pair{kMenuHelpHelp, L"Help"}, std::pair{kMenuHelpAbout, L"About"}}) {
    ChooseMenuItem(form, item);
    const Box box = NextBox();
    EXPECT_EQ(box.title, title);
    EXPECT_TRUE(box.icon);
    EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    Answer(box, IDOK);
  }
  ChooseMenuItem(form, kMenuExit);
  EXPECT_EQ(program_->WaitForExit(), 0u);
}

TEST_F(WindowTest, FallsBackToTheBaseGame) {
  WriteGame(false, true);
  const HWND form = Start();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Text(form), L"Tarnwick (v0.81 - beta) - CC not found");
}

// Each ends the program after its box, without ever showing the window.
TEST_F(WindowTest, EndsWithTheStartUpMessages) {
  struct Case {
    bool cc_key, base_key;
    const char* missing;  // in the game folder
    const wchar_t* message;
  };
  const Case cases[] = {
      {false, false, nullptr, kNoGame},
      {true, true, "Data\\gamedata.drs", kNoBaseFiles},
      {true, true, "Battlegrounds_x1.exe", kNoCcFiles},
  };
  for (const Case& c : cases) {
    WriteGame(c.cc_key, c.base_key);
    if (c.missing != nullptr) {
      ASSERT_TRUE(::DeleteFileA((game_ + c.missing).c_str()));
    }
    program_ = std::make_unique<Program>(g_program, L"");
    const Box box = NextBox();
    EXPECT_EQ(box.title, L"Error");
    EXPECT_EQ(box.text, c.message);
    EXPECT_TRUE(box.icon);
    EXPECT_FALSE(HasVisibleWindow(program_->id(), kInstallerFormClass));
    Answer(box, IDOK);
    EXPECT_EQ(program_->WaitForExit(), 1u);
  }
}

TEST_F(WindowTest, OpensInstallsAndRemovesAMod) {
  WriteGame(true, true);
  const std::string mod = WriteMod("good.mpi", Package("Good mod", "Line one\r\nLine two"));
  const HWND form = Start();
  ASSERT_NE(form, nullptr);

  // The file dialog opens in C:\ the first time; the path is typed into it.
  Click(::GetDlgItem(form, kOpenModButton));
  const HWND dialog = WaitForWindow(program_->id(), L"#32770", L"Select mod to install");
  ASSERT_NE(dialog, nullptr);
  HWND name = ::GetDlgItem(dialog, 0x47C);  // the file name box of the explorer dialog
  if (name == nullptr || !::IsWindowVisible(name)) name = ::GetDlgItem(dialog, 0x480);
  ASSERT_NE(name, nullptr);
  ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(mod).c_str()));
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);

  ExpectOffered(form, L"Good mod");
  EXPECT_EQ(RememberedFolder(), Wide(dir_.path() + "\\Mods\\"));
  const HWND readme = WaitForWindow(program_->id(), kReadmeFormClass, L"Readme file");
  ASSERT_NE(readme, nullptr);
  EXPECT_EQ(Text(::GetDlgItem(readme, kReadmeText)), L"Line one\r\nLine two");
  // "Close readme" only hides it; "Display readme for mod" brings it back.
  Click(::GetDlgItem(readme, kCloseButton));
  for (int i = 0; i < 100 && ::IsWindowVisible(readme); ++i) ::Sleep(50);
  EXPECT_FALSE(::IsWindowVisible(readme));
  Click(::GetDlgItem(form, kReadmeButton));
  EXPECT_EQ(WaitForWindow(program_->id(), kReadmeFormClass), readme);

  Click(::GetDlgItem(form, kInstallModButton));
  Box box = NextBox();
  EXPECT_EQ(box.title, L"Mod installation");
  EXPECT_EQ(box.text, L"Mod installed successfully");
  EXPECT_FALSE(box.icon);
  Answer(box, IDOK);
  ExpectOffered(form, L"");
  const HWND list = ::GetDlgItem(form, kModsInstalledBox);
  EXPECT_EQ(WaitForText(list, L"Good mod"), L"Good mod");
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(form, kRemoveButton)));

  // Declined: nothing happens. Confirmed: the mod goes and the list follows.
  const std::wstring question =
      L"This will uninstall all the modifications made by the latest modpack that you have "
      L"installed (Good mod). Do you wish to continue?";
  for (const int answer : {IDCANCEL, IDOK}) {
    Click(::GetDlgItem(form, kRemoveButton));
    box = NextBox();
    EXPECT_EQ(box.title, L"Warning");
    EXPECT_EQ(box.text, question);
    EXPECT_FALSE(box.icon);
    EXPECT_EQ(box.buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
    Answer(box, answer);
    EXPECT_EQ(WaitForText(list, answer == IDOK ? L"None" : L"Good mod", 2000),
              answer == IDOK ? L"None" : L"Good mod");
  }
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(form, kRemoveButton)));

  // Closing the main window takes the readme window with it and ends the program.
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program_->WaitForExit(), 0u);
}

// A package handed to the program opens as if chosen with "Open mod": an invalid one is refused
// with its message and remembered all the same.
TEST_F(WindowTest, RefusesAnInvalidPackageGivenOnTheCommandLine) {
  WriteGame(true, true);
  fixtures::MpiPackage broken = Package("Broken", "x");
  broken.magic = "MPI 9.9 ";
  const std::string path = WriteMod("broken.mpi", broken);
  program_ = std::make_unique<Program>(g_program, L"\"" + Wide(path) + L"\"");
  const Box box = NextBox();
  EXPECT_EQ(box.title, L"Error");
  EXPECT_EQ(box.text, kInvalid);
  Answer(box, IDOK);
  const HWND form = WaitForWindow(program_->id(), kInstallerFormClass);
  ASSERT_NE(form, nullptr);
  ExpectOffered(form, L"");
  EXPECT_EQ(RememberedFolder(), Wide(dir_.path() + "\\Mods\\"));
  EXPECT_FALSE(HasVisibleWindow(program_->id(), kReadmeFormClass));
}

// An install that takes a while shows the progress window, which the player cannot close, and
// keeps the main window from taking input until it ends.
TEST_F(WindowTest, ShowsProgressDuringALongInstall) {
  WriteGame(true, true);
  // Each replacement of the language library makes a backup and saves the log, durably, before
  // its bytes go in: three hundred of them take a while on any disk.
  fixtures::MpiPackage package = Package("Big mod", "Readme");
  package.rows.assign(300, {5, 6, 0, "A language library stand-in", {}, {}});
  const std::string mod = WriteMod("big.mpi", package);
  const HWND form = Start(L"\"" + Wide(mod) + L"\"");
  ASSERT_NE(form, nullptr);
  ExpectOffered(form, L"Big mod");
  Click(::GetDlgItem(form, kInstallModButton));
  const HWND progress = WaitForWindow(program_->id(), kProgressClass, L"Mod installation", 20000);
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(form));
  EXPECT_EQ(Text(::GetDlgItem(form, kInstallModButton)), L"[installing]");
  ::PostMessageW(progress, WM_CLOSE, 0, 0);
  const Box box = WaitForBox(program_->id(), 60000);
  EXPECT_EQ(box.text, L"Mod installed successfully");
  EXPECT_FALSE(::IsWindow(progress));
  Answer(box, IDOK);
  EXPECT_TRUE(::IsWindowEnabled(form));
}

// The window follows its inside's width and height above their limits, in twips at 96 dots per
// inch; "Remove latest" stays below the list, or at the bottom when the window is too short.
TEST_F(WindowTest, FollowsResizes) {
  WriteGame(true, true);
  const HWND form = Start();
  ASSERT_NE(form, nullptr);
  const HWND list = ::GetDlgItem(form, kModsInstalledBox);
  const HWND remove = ::GetDlgItem(form, kRemoveButton);
  RECT outer{}, inner{};
  ::GetWindowRect(form, &outer);
  ::GetClientRect(form, &inner);
  const int frame_width = (outer.right - outer.left) - inner.right;
  const int frame_height = (outer.bottom - outer.top) - inner.bottom;
  const auto pixels = [](int twips) { return ::MulDiv(twips, 96, 1440); };
  // Showing the window resizes the list to the inside: inner width - 2800 twips. The layout of
  // the list (by the outer size) comes first; the resize follows once the window is shown.
  const int shown_width = pixels(inner.right * 15 - 2800);
  for (int i = 0; i < 100 && PlacedAt(list).right - PlacedAt(list).left != shown_width; ++i) {
    ::Sleep(20);
  }
  EXPECT_EQ(PlacedAt(list).right - PlacedAt(list).left, shown_width);
  struct Step {
    int width, height;  // inside, pixels
    int list_width;     // twips
    bool at_bottom;     // "Remove latest" pulled up to the bottom edge
  };
  const Step steps[] = {
      {300, 200, 4500 - 2800, false},
      {200, 200, 4500 - 2800, false},  // 3000 twips: the list keeps its width
      {201, 200, 3015 - 2800, false},
      {300, 30, 4500 - 2800, true},
  };
  for (const Step& step : steps) {
    ::SetWindowPos(form, nullptr, 0, 0, step.width + frame_width, step.height + frame_height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::GetClientRect(form, &inner);
    ASSERT_EQ(inner.right, step.width);
    ASSERT_EQ(inner.bottom, step.height);
    EXPECT_EQ(PlacedAt(list).right - PlacedAt(list).left, pixels(step.list_width)) << step.width;
    EXPECT_EQ(PlacedAt(remove).top, step.at_bottom ? step.height - 375 / 15 : PlacedAt(list).bottom)
        << step.height;
  }
}

// Tools, "Verify game files": all well in a box; an archive cut short listed in a view of its
// own, while the main window waits.
TEST_F(WindowTest, VerifiesTheGameFilesAgainstTheLog) {
  WriteGame(true, true);
  const std::string mod = WriteMod("good.mpi", Package("Good mod", "Readme"));
  const HWND form = Start(L"\"" + Wide(mod) + L"\"");
  ASSERT_NE(form, nullptr);
  ExpectOffered(form, L"Good mod");
  ChooseMenuItem(form, kMenuToolsVerify);
  Box box = NextBox();
  EXPECT_EQ(box.title, L"Verify game files");
  EXPECT_EQ(box.text, L"The game files match the mod log.");
  Answer(box, IDOK);

  Click(::GetDlgItem(form, kInstallModButton));
  Answer(NextBox(), IDOK);
  ASSERT_EQ(WaitForText(::GetDlgItem(form, kModsInstalledBox), L"Good mod"), L"Good mod");
  const std::string archive = game_ + "Data\\graphics.drs";
  const HANDLE file = ::CreateFileA(archive.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::SetFilePointer(file, 100, nullptr, FILE_BEGIN);
  ::SetEndOfFile(file);
  ::CloseHandle(file);

  ChooseMenuItem(form, kMenuToolsVerify);
  const HWND view = WaitForWindow(program_->id(), kListViewClass, L"Verify game files");
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(Text(::GetDlgItem(view, kListHeading)),
            L"The game files have changed since the mod log was written; removing mods may not "
            L"restore them.");
  // One row per file the check looked at: the ten archives of a game with the expansion.
  EXPECT_EQ(::SendMessageW(::GetDlgItem(view, kListTable), kListViewItemCount, 0, 0), 10);
  EXPECT_FALSE(::IsWindowEnabled(form));
  ::PostMessageW(view, WM_COMMAND, IDCANCEL, 0);
  for (int i = 0; i < 100 && !::IsWindowEnabled(form); ++i) ::Sleep(50);
  EXPECT_TRUE(::IsWindowEnabled(form));
}

// Tools, "Manage mods...": the mods with their records, newest first. The middle one is removed
// after its plan is shown and confirmed, which leaves the game as a fresh install of the other
// two, and both the view and the main window's list follow. A removal cut off after its first
// step is offered at the next start; finishing it leaves the game as if it had never stopped.
TEST_F(WindowTest, ManagesModsAndFinishesARemovalCutOff) {
  const Tree blaster_alone = FreshInstallOf({"blaster-sound.mpi"});
  const Tree without_trooper = FreshInstallOf({"unit-names-language.mpi", "blaster-sound.mpi"});
  WriteGame(true, true);
  InstallSamples({"unit-names-language.mpi", "trooper-graphics.mpi", "blaster-sound.mpi"});
  const Tree installed = GameFiles();
  // The trooper's graphics are a difference the removal has to undo.
  ASSERT_NE(Differing(installed, without_trooper), std::vector<std::string>{});
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  const HWND main_list = ::GetDlgItem(form, kModsInstalledBox);
  EXPECT_EQ(
      Text(main_list),
      L"Louder blaster sound\r\nStriped trooper graphics\r\nNew unit names (language library)");

  ChooseMenuItem(form, kMenuToolsManage);
  const HWND view = WaitForWindow(program_->id(), kListViewClass, L"Manage mods");
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(form));
  const HWND table = ::GetDlgItem(view, kListTable);
  const HWND remove = ::GetDlgItem(view, kManageRemove);
  EXPECT_EQ(Text(remove), L"Remove...");
  // Number, title, install time (UTC, left out of the comparison), changes, package, install.
  const auto rows_now = [&] {
    std::vector<std::vector<std::wstring>> rows = ListRows(table);
    for (auto& row : rows) {
      EXPECT_EQ(row.size(), 6u);
      EXPECT_TRUE(row.size() > 2 && row[2].size() == 20 && row[2].back() == L'Z') << row[2];
      if (row.size() > 2) row[2].clear();
    }
    return rows;
  };
  using Rows = std::vector<std::vector<std::wstring>>;
  const Rows three = {
      {L"3", L"Louder blaster sound", L"", L"1", L"kept", L"complete"},
      {L"2", L"Striped trooper graphics", L"", L"2", L"kept", L"complete"},
      {L"1", L"New unit names (language library)", L"", L"1", L"kept", L"complete"},
  };
  EXPECT_EQ(rows_now(), three);

  // Cancel leaves everything as it was; OK carries the plan out.
  for (const int answer : {IDCANCEL, IDOK}) {
    EXPECT_FALSE(::IsWindowEnabled(remove));
    ASSERT_TRUE(SelectRow(table, 1));
    EXPECT_TRUE(::IsWindowEnabled(remove));
    Click(remove);
    const Box box = NextBox();
    EXPECT_EQ(box.title, L"Remove mod");
    EXPECT_TRUE(
        box.text.starts_with(L"Takes off Louder blaster sound, removes Striped trooper "
                             L"graphics, puts back Louder blaster sound.\nWrites "))
        << box.text;
    EXPECT_TRUE(box.text.ends_with(L"\nDo you wish to continue?")) << box.text;
    EXPECT_EQ(box.buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
    Answer(box, answer);
    if (answer == IDCANCEL) {
      EXPECT_EQ(rows_now(), three);
      EXPECT_EQ(Differing(installed, GameFiles()), std::vector<std::string>{});
    }
  }
  const std::wstring two_left = L"Louder blaster sound\r\nNew unit names (language library)";
  EXPECT_EQ(WaitForText(main_list, two_left), two_left);
  EXPECT_EQ(rows_now(),
            (Rows{{L"2", L"Louder blaster sound", L"", L"1", L"kept", L"complete"},
                  {L"1", L"New unit names (language library)", L"", L"1", L"kept", L"complete"}}));
  EXPECT_FALSE(::IsWindowEnabled(remove));
  EXPECT_EQ(Differing(without_trooper, GameFiles()), std::vector<std::string>{});
  ::PostMessageW(view, WM_COMMAND, IDCANCEL, 0);
  for (int i = 0; i < 100 && !::IsWindowEnabled(form); ++i) ::Sleep(50);
  EXPECT_TRUE(::IsWindowEnabled(form));
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  ASSERT_EQ(program_->WaitForExit(), 0u);

  // Removing the oldest mod is cut off once its first step, taking the blaster sound off, ran.
  {
    GameSession session;
    ASSERT_TRUE(OpenGameSession({}, session).Ok());
    fixtures::RecordingMessages messages;
    const LedgerPaths paths = LedgerPathsFor(session.ModLog.LogPath);
    Ledger ledger = OpenLedger(paths, messages);
    const RemovalPlan plan =
        PlanRemoval(session.ModLog, session.GameFiles, session.CCPresent, ledger, 1);
    ASSERT_TRUE(plan.Ok());
    ledger.plan = PlanText(plan, 0);
    ASSERT_FALSE(SaveLedger(paths, ledger));
    ASSERT_FALSE(RemoveLatest(session.ModLog, session.GameFiles, messages));
    ASSERT_EQ(messages.boxes, std::vector<fixtures::RecordingMessages::Box>{});
  }
  // Asked before the window shows.
  program_ = std::make_unique<Program>(g_program, L"");
  const Box box = NextBox();
  EXPECT_FALSE(HasVisibleWindow(program_->id(), kInstallerFormClass));
  EXPECT_EQ(box.title, L"Remove mod");
  EXPECT_TRUE(box.text.starts_with(
      L"Removing New unit names (language library) was cut off before it finished."))
      << box.text;
  EXPECT_EQ(box.buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
  Answer(box, IDOK);
  form = WaitForWindow(program_->id(), kInstallerFormClass);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Text(::GetDlgItem(form, kModsInstalledBox)), L"Louder blaster sound");
  EXPECT_EQ(Differing(blaster_alone, GameFiles()), std::vector<std::string>{});
}

// Tools, "What it changes…", offered while a package is chosen and not installed: a rival of the
// trooper graphics with a picture of its own, one the same as the installed mod's, a language
// library over the installed one, a new sound and an id the archive lacks. Then, installed as far
// as it goes, "What it changed…" in the manage view shows the trooper mod's pictures overridden.
TEST_F(WindowTest, ShowsWhatAPackageChangesAndWhatAnInstalledModChanged) {
  WriteGame(true, true);
  InstallSamples({"trooper-graphics.mpi", "unit-names-language.mpi"});
  fixtures::MpiPackage rival = Package("Rival trooper", "Readme");
  for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
    if (mod.file_name == "trooper-graphics.mpi") rival.rows.push_back(mod.package.rows[1]);
  }
  rival.rows.push_back({5, 6, 0, std::string(2000, 'L'), {}, {}});
  rival.rows.push_back({2, 3, 5000, std::string(300, 'S'), {}, {}});
  rival.rows.push_back({1, 1, 424242, "no such id", {}, {}});
  const std::string path = WriteMod("rival-trooper.mpi", rival);

  // Nothing chosen: nothing to show.
  HWND form = Start();
  ASSERT_NE(form, nullptr);
  ChooseMenuItem(form, kMenuToolsChanges);
  EXPECT_EQ(WaitForWindow(program_->id(), kListViewClass, nullptr, 1000), nullptr);
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  ASSERT_EQ(program_->WaitForExit(), 0u);

  form = Start(L"\"" + Wide(path) + L"\"");
  ASSERT_NE(form, nullptr);
  ExpectOffered(form, L"Rival trooper");
  ChooseMenuItem(form, kMenuToolsChanges);
  HWND view = WaitForWindow(program_->id(), kListViewClass, L"What it changes: Rival trooper");
  ASSERT_NE(view, nullptr);
  HWND table = ::GetDlgItem(view, kListTable);
  const auto cells = [](const std::vector<std::wstring>& row, std::initializer_list<size_t> of) {
    std::vector<std::wstring> picked;
    for (const size_t column : of) picked.push_back(column < row.size() ? row[column] : L"?");
    return picked;
  };
  const std::wstring trooper = L"Striped trooper graphics";
  const std::wstring language = L"New unit names (language library)";
  const std::vector<std::vector<std::wstring>> expected = {
      {L"1", L"resource", L"graphics.drs", L"100", L"17", trooper,
       L"overrides \"" + trooper + L"\""},
      {L"2", L"resource", L"graphics.drs", L"1000", std::to_wstring(rival.rows[1].payload.size()),
       trooper, L"identical"},
      {L"3", L"file", L"language.dll", L"", L"2000", language, L"overrides \"" + language + L"\""},
      {L"4", L"resource", L"sounds.drs", L"5000", L"300", L"game", L"new"},
      {L"5", L"refused", L"graphics_x1.drs", L"424242", L"", L"", L"refused: invalid"},
  };
  const std::initializer_list<size_t> shown = {
      kColumnRow, kColumnWhat, kColumnFile, kColumnId, kColumnSize, kColumnProvider, kColumnStatus};
  std::vector<std::vector<std::wstring>> rows = ListRows(table);
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t row = 0; row < rows.size(); ++row) {
    EXPECT_EQ(rows[row].size(), size_t{kColumnCount});
    EXPECT_EQ(cells(rows[row], shown), expected[row]) << row;
  }
  // A replaced file names the backup it makes.
  EXPECT_EQ(cells(rows[2], {kColumnNewPlace}), std::vector<std::wstring>{L"backup 001"});
  const std::wstring totals = Text(::GetDlgItem(view, kListFooter));
  EXPECT_TRUE(totals.starts_with(
      L"4 changes, 2 override installed mods, 1 identical\r\nAppended: graphics.drs "))
      << totals;
  EXPECT_TRUE(totals.ends_with(L"\r\nThe install stops at row 5.")) << totals;
  // Sizes sort as numbers, the refused row's empty cell first; a second click turns them round.
  std::vector<size_t> numbers = {17, rival.rows[1].payload.size(), 2000, 300};
  std::sort(numbers.begin(), numbers.end());
  std::vector<std::wstring> ascending = {L""};
  for (const size_t number : numbers) ascending.push_back(std::to_wstring(number));
  for (const bool descending : {false, true}) {
    ClickColumnHeading(table, kColumnSize);
    for (int i = 0; i < 100 && ListRows(table) == rows; ++i) ::Sleep(50);
    rows = ListRows(table);
    std::vector<std::wstring> sizes;
    for (const auto& row : rows) sizes.push_back(cells(row, {kColumnSize})[0]);
    EXPECT_EQ(sizes, descending ? std::vector<std::wstring>(ascending.rbegin(), ascending.rend())
                                : ascending);
  }
  ::PostMessageW(view, WM_COMMAND, IDCANCEL, 0);

  // Installed as far as it goes: it stops at the refused row with its message.
  for (int i = 0; i < 100 && !::IsWindowEnabled(form); ++i) ::Sleep(50);
  Click(::GetDlgItem(form, kInstallModButton));
  const Box box = NextBox();
  EXPECT_EQ(box.title, L"Error");
  Answer(box, IDOK);
  ChooseMenuItem(form, kMenuToolsManage);
  const HWND manage = WaitForWindow(program_->id(), kListViewClass, L"Manage mods");
  ASSERT_NE(manage, nullptr);
  const HWND changed = ::GetDlgItem(manage, kManageChanges);
  EXPECT_EQ(Text(changed), L"What it changed\u2026");
  EXPECT_FALSE(::IsWindowEnabled(changed));
  ASSERT_TRUE(SelectRow(::GetDlgItem(manage, kListTable), 2));
  Click(changed);
  view = WaitForWindow(program_->id(), kListViewClass, (L"What it changes: " + trooper).c_str());
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(manage));
  rows = ListRows(::GetDlgItem(view, kListTable));
  ASSERT_EQ(rows.size(), 2u);
  for (size_t row = 0; row < rows.size(); ++row) {
    EXPECT_EQ(cells(rows[row], {kColumnId, kColumnTable, kColumnStatus}),
              (std::vector<std::wstring>{row == 0 ? L"100" : L"1000", L"slp",
                                         L"overridden by \"Rival trooper (incomplete)\""}));
  }
  EXPECT_TRUE(Text(::GetDlgItem(view, kListFooter))
                  .starts_with(L"2 changes, 2 overridden by later changes"));
  ::PostMessageW(view, WM_COMMAND, IDCANCEL, 0);
  for (int i = 0; i < 100 && !::IsWindowEnabled(manage); ++i) ::Sleep(50);
  EXPECT_TRUE(::IsWindowEnabled(manage));
  EXPECT_FALSE(::IsWindowEnabled(form));
}

}  // namespace
}  // namespace tarnwick::winapp_tests

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    std::fputs("usage: winapp_tests PATH_OF_TARNWICK_WIN_EXE\n", stderr);
    return 2;
  }
  tarnwick::winapp_tests::g_program = tarnwick::winapp_tests::WindowsPath(argv[1]);
  const std::wstring& program = tarnwick::winapp_tests::g_program;
  tarnwick::winapp_tests::g_console =
      program.substr(0, program.find_last_of(L'\\') + 1) + L"tarnwick.exe";
  return RUN_ALL_TESTS();
}
