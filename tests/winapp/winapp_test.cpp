// The window program as a player meets it, started under Wine on a game written into the prefix:
// its windows found by class and caption, read and pressed from outside.
#include <gtest/gtest.h>

#include <string>

#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "game_tree.h"
#include "ledger/ledger.h"
#include "manage/change_table.h"
#include "manage/game_session.h"
#include "manage/install_package.h"
#include "manage/mod_records.h"
#include "manage/remove_any.h"
#include "platform/wide_text_win32.h"
#include "winapp/window_driver.h"
#include "winapp/window_names.h"
#include "writers/game_folder.h"
#include "writers/mpi_writer.h"
#include "writers/sandbox.h"

namespace tarnwick::winapp_tests {
namespace {

using namespace tarnwick::winapp;  // NOLINT: the window's class names and control ids
using testing::Differing;
using testing::Tree;
using Rows = std::vector<std::vector<std::wstring>>;

constexpr wchar_t kSettingsKey[] = L"Software\\Tarnwick\\Open";
constexpr wchar_t kNoGame[] =
    L"Unable to find SWGB! Please ensure that it is correctly installed and that it has been run "
    L"at least once.";
constexpr wchar_t kNoCcFiles[] =
    L"Unable to find CC data files! Please ensure that the game is correctly installed.";
constexpr wchar_t kInvalid[] =
    L"Specified MPI file is invalid or corrupted! Make sure you have the latest version of the "
    L"mod installer.";

std::wstring g_program;  // tarnwick-win.exe, from the command line
std::wstring g_console;  // tarnwick.exe beside it

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

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

// A table as a face shows it: the operation's rows, cell for cell.
Rows Cells(const ChangeTable& table) {
  Rows rows;
  for (const TableRow& row : table.rows) {
    rows.emplace_back();
    for (const TableCell& cell : row.cells) rows.back().push_back(WideFromUtf8(cell.text));
  }
  return rows;
}

// The lines under a table as a face shows them.
std::wstring Footer(const ChangeTable& table) {
  std::wstring footer;
  for (const std::string& line : table.totals) {
    footer += (footer.empty() ? L"" : L"\r\n") + WideFromUtf8(line);
  }
  return footer;
}

// The game as the program finds it, read here.
GameSession Session() {
  GameSession session;
  EXPECT_TRUE(OpenGameSession({}, session).Ok());
  return session;
}

class WindowTest : public ::testing::Test {
 protected:
  // The game with Clone Campaigns in a fresh folder, found through the registry keys `cc` and
  // `base` (false: no key); nothing remembered.
  void WriteGame(bool cc = true, bool base = true) {
    game_ = dir_.path() + "\\game\\";
    ASSERT_FALSE(fixtures::WriteGameFolder(dir_.path() + "\\game", {}));
    ASSERT_TRUE(RegisterGame(game_, cc, base));
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

// Each start-up: without the game, or with a file of it missing, its box ends the program before
// the window shows; otherwise the caption says whether the expansion was found. With it: the
// window as designed, following resizes, its menus answering.
TEST_F(WindowTest, StartsAsDesigned) {
  const struct {
    bool cc_key, base_key;
    const char* missing;   // in the game folder
    const wchar_t* shown;  // the box's text, or the window's caption
  } starts[] = {
      {false, false, nullptr, kNoGame},
      {true, true, "Battlegrounds_x1.exe", kNoCcFiles},
      {false, true, nullptr, L"Tarnwick (v0.81 - beta) - CC not found"},
      {true, true, nullptr, L"Tarnwick (v0.81 - beta) - CC found"},
  };
  HWND form = nullptr;
  for (const auto& start : starts) {
    WriteGame(start.cc_key, start.base_key);
    if (start.missing != nullptr) {
      ASSERT_TRUE(::DeleteFileA((game_ + start.missing).c_str()));
    }
    program_ = std::make_unique<Program>(g_program, L"");
    if (std::wstring(start.shown).starts_with(L"Tarnwick")) {
      form = WaitForWindow(program_->id(), kInstallerFormClass);
      ASSERT_NE(form, nullptr);
      EXPECT_EQ(Text(form), start.shown);
      continue;
    }
    const Box box = NextBox();
    EXPECT_EQ(box.title, L"Error");
    EXPECT_EQ(box.text, start.shown);
    EXPECT_TRUE(box.icon);
    EXPECT_FALSE(HasVisibleWindow(program_->id(), kInstallerFormClass));
    Answer(box, IDOK);
    EXPECT_EQ(program_->WaitForExit(), 1u);
  }

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
  const HWND remove = ::GetDlgItem(form, kRemoveButton);
  EXPECT_EQ(Text(list), L"None");
  EXPECT_EQ(PlacedAt(remove).top, PlacedAt(list).bottom);

  // The window follows its inside's width and height above their limits, in twips at 96 dots per
  // inch; "Remove latest" stays below the list, or at the bottom when the window is too short.
  RECT outer{};
  ::GetWindowRect(form, &outer);
  const int frame_width = (outer.right - outer.left) - client.right;
  const int frame_height = (outer.bottom - outer.top) - client.bottom;
  const auto pixels = [](int twips) { return ::MulDiv(twips, 96, 1440); };
  const auto list_width = [list] { return PlacedAt(list).right - PlacedAt(list).left; };
  // Showing the window resizes the list to the inside: inner width - 2800 twips. The layout of
  // the list (by the outer size) comes first; the resize follows once the window is shown.
  const int shown_width = pixels(client.right * 15 - 2800);
  for (int i = 0; i < 100 && list_width() != shown_width; ++i) ::Sleep(20);
  EXPECT_EQ(list_width(), shown_width);
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
    ::GetClientRect(form, &client);
    ASSERT_EQ(client.right, step.width);
    ASSERT_EQ(client.bottom, step.height);
    EXPECT_EQ(list_width(), pixels(step.list_width)) << step.width;
    EXPECT_EQ(PlacedAt(remove).top, step.at_bottom ? step.height - 375 / 15 : PlacedAt(list).bottom)
        << step.height;
  }

  // Nothing chosen: "What it changes" has nothing to show. Help and About answer in information
  // boxes; Exit ends the program.
  ChooseMenuItem(form, kMenuToolsChanges);
  EXPECT_EQ(WaitForWindow(program_->id(), kListViewClass, nullptr, 1000), nullptr);
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

// Without a command the console program hands over to the window program beside it and ends.
TEST_F(WindowTest, TheConsoleProgramOpensTheWindowWithoutACommand) {
  WriteGame();
  const Ran ran = RunConsole(g_console, dir_, {});
  EXPECT_EQ(ran.status, 0u);
  EXPECT_EQ(ran.out + ran.err, "");
  HWND form = nullptr;
  for (int i = 0; i < 200 && form == nullptr; ++i) {
    form = ::FindWindowW(kInstallerFormClass, nullptr);
    if (form == nullptr) ::Sleep(50);
  }
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(Text(form), L"Tarnwick (v0.81 - beta) - CC found");
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  for (int i = 0; i < 200 && ::IsWindow(form); ++i) ::Sleep(50);
  EXPECT_FALSE(::IsWindow(form));
}

// A package handed to the program opens as if chosen with "Open mod": an invalid one is refused
// with its message and its folder remembered all the same. One chosen in the file dialog is
// offered with its readme. Its install takes a while: the progress window, which the player
// cannot close, keeps the main window from taking input until it ends. Removal asks first. Tools,
// "Verify game files": all well in a box; an archive cut short listed in a view of its own, while
// the main window waits.
TEST_F(WindowTest, OpensInstallsRemovesAndVerifies) {
  WriteGame();
  fixtures::MpiPackage broken = Package("Broken", "x");
  broken.magic = "MPI 9.9 ";
  const std::string invalid = dir_.path() + "\\Broken\\broken.mpi";
  ASSERT_FALSE(fixtures::WriteHostFile(invalid, BuildMpi(broken)));
  // Each replacement of the language library makes a backup and saves the log, durably, before
  // its bytes go in: nearly a thousand of them (the most its backup numbers allow), each of 32 KiB,
  // outlast the progress window's half second on any disk, an optimised build's included.
  fixtures::MpiPackage package = Package("Big mod", "Line one\r\nLine two");
  package.rows.insert(package.rows.end(), 990, {5, 6, 0, std::string(32 << 10, 'L'), {}, {}});
  const std::string mod = WriteMod("big.mpi", package);
  program_ = std::make_unique<Program>(g_program, L"\"" + Wide(invalid) + L"\"");
  Box box = NextBox();
  EXPECT_EQ(box.title, L"Error");
  EXPECT_EQ(box.text, kInvalid);
  Answer(box, IDOK);
  const HWND form = WaitForWindow(program_->id(), kInstallerFormClass);
  ASSERT_NE(form, nullptr);
  ExpectOffered(form, L"");
  EXPECT_EQ(RememberedFolder(), Wide(dir_.path() + "\\Broken\\"));
  EXPECT_FALSE(HasVisibleWindow(program_->id(), kReadmeFormClass));
  ChooseMenuItem(form, kMenuToolsVerify);
  box = NextBox();
  EXPECT_EQ(box.title, L"Verify game files");
  EXPECT_EQ(box.text, L"The game files match the mod log.");
  Answer(box, IDOK);

  // The path is typed into the file dialog.
  Click(::GetDlgItem(form, kOpenModButton));
  const HWND dialog = WaitForWindow(program_->id(), L"#32770", L"Select mod to install");
  ASSERT_NE(dialog, nullptr);
  HWND name = ::GetDlgItem(dialog, 0x47C);  // the file name box of the explorer dialog
  if (name == nullptr || !::IsWindowVisible(name)) name = ::GetDlgItem(dialog, 0x480);
  ASSERT_NE(name, nullptr);
  ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(mod).c_str()));
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ExpectOffered(form, L"Big mod");
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
  const HWND progress = WaitForWindow(program_->id(), kProgressClass, L"Mod installation", 20000);
  ASSERT_NE(progress, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(form));
  EXPECT_EQ(Text(::GetDlgItem(form, kInstallModButton)), L"[installing]");
  ::PostMessageW(progress, WM_CLOSE, 0, 0);
  box = WaitForBox(program_->id(), 60000);
  EXPECT_EQ(box.title, L"Mod installation");
  EXPECT_EQ(box.text, L"Mod installed successfully");
  EXPECT_FALSE(box.icon);
  EXPECT_FALSE(::IsWindow(progress));
  Answer(box, IDOK);
  EXPECT_TRUE(::IsWindowEnabled(form));
  ExpectOffered(form, L"");
  const HWND list = ::GetDlgItem(form, kModsInstalledBox);
  EXPECT_EQ(WaitForText(list, L"Big mod"), L"Big mod");
  EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(form, kRemoveButton)));

  // Declined: nothing happens. Confirmed: the mod goes and the list follows.
  for (const int answer : {IDCANCEL, IDOK}) {
    Click(::GetDlgItem(form, kRemoveButton));
    box = NextBox();
    EXPECT_EQ(box.title, L"Warning");
    EXPECT_EQ(box.text,
              L"This will uninstall all the modifications made by the latest modpack that you have "
              L"installed (Big mod). Do you wish to continue?");
    EXPECT_FALSE(box.icon);
    EXPECT_EQ(box.buttons, (std::vector<std::wstring>{L"OK", L"Cancel"}));
    Answer(box, answer);
    const std::wstring left = answer == IDOK ? L"None" : L"Big mod";
    EXPECT_EQ(WaitForText(list, left, 30000), left);
  }
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(form, kRemoveButton)));

  const HANDLE file = ::CreateFileA((game_ + "Data\\graphics.drs").c_str(), GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  EXPECT_EQ(ListRows(::GetDlgItem(view, kListTable)).size(), 10u);
  EXPECT_FALSE(::IsWindowEnabled(form));
  ::PostMessageW(view, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntilEnabled(form));

  // Closing the main window takes the readme window with it and ends the program.
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_EQ(program_->WaitForExit(), 0u);
}

// Tools, "What it changes…", offered while a package is chosen and not installed: the operation's
// table for a rival of the trooper graphics over the installed mods, sizes sorting as numbers.
// Tools, "Manage mods...": the mods with their records, newest first; the middle one is removed
// after its plan is shown and confirmed, and the view and the main window's list follow. A
// removal cut off after its first step is offered at the next start, and finished. The rival,
// installed as far as it goes, then overrides the blaster mod, as "What it changed…" shows.
TEST_F(WindowTest, ShowsChangesAndManagesMods) {
  WriteGame();
  // The sample mods installed by the command line, oldest first.
  ASSERT_TRUE(WriteSampleMods(dir_ / "Mods"));
  for (const char* name :
       {"unit-names-language.mpi", "trooper-graphics.mpi", "blaster-sound.mpi"}) {
    ASSERT_EQ(RunConsole(g_console, dir_, {"install", "--yes", dir_ / "Mods\\" + name}).status, 0u);
  }
  fixtures::MpiPackage rival = Package("Rival trooper", "Readme");
  rival.rows.push_back(fixtures::SampleMods()[0].package.rows[1]);  // the same as the trooper's
  rival.rows.push_back({5, 6, 0, std::string(2000, 'L'), {}, {}});
  rival.rows.push_back({2, 3, 5000, std::string(300, 'S'), {}, {}});
  rival.rows.push_back({1, 1, 424242, "no such id", {}, {}});
  const std::string path = WriteMod("rival-trooper.mpi", rival);
  const std::wstring chosen = L"\"" + Wide(path) + L"\"";
  const Tree installed = testing::ReadTree(game_);
  HWND form = Start(chosen);
  ASSERT_NE(form, nullptr);
  const HWND main_list = ::GetDlgItem(form, kModsInstalledBox);
  EXPECT_EQ(
      Text(main_list),
      L"Louder blaster sound\r\nStriped trooper graphics\r\nNew unit names (language library)");
  ExpectOffered(form, L"Rival trooper");

  ChooseMenuItem(form, kMenuToolsChanges);
  HWND view = WaitForWindow(program_->id(), kListViewClass, L"What it changes: Rival trooper");
  ASSERT_NE(view, nullptr);
  HWND table = ::GetDlgItem(view, kListTable);
  GameSession session = Session();
  PackageHeader header;
  ASSERT_EQ(ReadPackage(path, header), PackageRead::kValid);
  const ChangeTable planned =
      PackageChangeTable(path, header, session.ModLog, session.GameFiles, session.CCPresent);
  Rows rows = ListRows(table);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows, Cells(planned));
  EXPECT_EQ(Text(::GetDlgItem(view, kListFooter)), Footer(planned));
  // Sizes sort as numbers, the refused row's empty cell first; a second click turns them round.
  const std::vector<std::wstring> ascending = {L"", L"17", L"146", L"300", L"2000"};
  for (const bool descending : {false, true}) {
    ClickColumnHeading(table, kColumnSize);
    for (int i = 0; i < 100 && ListRows(table) == rows; ++i) ::Sleep(50);
    rows = ListRows(table);
    std::vector<std::wstring> sizes;
    for (const auto& row : rows) sizes.push_back(row.at(kColumnSize));
    EXPECT_EQ(sizes, descending ? std::vector<std::wstring>(ascending.rbegin(), ascending.rend())
                                : ascending);
  }
  ::PostMessageW(view, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntilEnabled(form));

  ChooseMenuItem(form, kMenuToolsManage);
  HWND manage = WaitForWindow(program_->id(), kListViewClass, L"Manage mods");
  ASSERT_NE(manage, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(form));
  table = ::GetDlgItem(manage, kListTable);
  const HWND remove = ::GetDlgItem(manage, kManageRemove);
  EXPECT_EQ(Text(remove), L"Remove...");
  // Number, title, install time (UTC, left out of the comparison), changes, package, install.
  const auto rows_now = [&] {
    Rows rows = ListRows(table);
    for (auto& row : rows) {
      EXPECT_EQ(row.size(), 6u);
      EXPECT_TRUE(row.size() > 2 && row[2].size() == 20 && row[2].back() == L'Z') << row[2];
      if (row.size() > 2) row[2].clear();
    }
    return rows;
  };
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
      EXPECT_EQ(Differing(installed, testing::ReadTree(game_)), std::vector<std::string>{});
    }
  }
  const std::wstring two_left = L"Louder blaster sound\r\nNew unit names (language library)";
  EXPECT_EQ(WaitForText(main_list, two_left), two_left);
  EXPECT_EQ(rows_now(),
            (Rows{{L"2", L"Louder blaster sound", L"", L"1", L"kept", L"complete"}, three[2]}));
  EXPECT_FALSE(::IsWindowEnabled(remove));
  ::PostMessageW(manage, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntilEnabled(form));
  ::PostMessageW(form, WM_CLOSE, 0, 0);
  ASSERT_EQ(program_->WaitForExit(), 0u);

  // Removing the oldest mod is cut off once its first step, taking the blaster sound off, ran.
  {
    session = Session();
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
  program_ = std::make_unique<Program>(g_program, chosen);
  Box box = NextBox();
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
  EXPECT_EQ(Session().ModLog.ModCount(), 1);

  // Installed as far as it goes: it stops at the refused row with its message.
  ExpectOffered(form, L"Rival trooper");
  Click(::GetDlgItem(form, kInstallModButton));
  box = NextBox();
  EXPECT_EQ(box.title, L"Error");
  Answer(box, IDOK);
  ChooseMenuItem(form, kMenuToolsManage);
  manage = WaitForWindow(program_->id(), kListViewClass, L"Manage mods");
  ASSERT_NE(manage, nullptr);
  const HWND changed = ::GetDlgItem(manage, kManageChanges);
  EXPECT_EQ(Text(changed), L"What it changed\u2026");
  EXPECT_FALSE(::IsWindowEnabled(changed));
  ASSERT_TRUE(SelectRow(::GetDlgItem(manage, kListTable), 1));
  Click(changed);
  view = WaitForWindow(program_->id(), kListViewClass, L"What it changes: Louder blaster sound");
  ASSERT_NE(view, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(manage));
  session = Session();
  const ChangeTable blaster = InstalledChangeTable(session.ModLog, 1, session.GameFiles);
  EXPECT_EQ(ListRows(::GetDlgItem(view, kListTable)), Cells(blaster));
  EXPECT_EQ(Text(::GetDlgItem(view, kListFooter)), Footer(blaster));
  EXPECT_EQ(blaster.overridden, 1);
  ::PostMessageW(view, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntilEnabled(manage));
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
