#include "winapp/installer_window.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "app/about_texts.h"
#include "common/main_window_layout.h"
#include "manage/change_table.h"
#include "manage/face_texts.h"
#include "manage/install_package.h"
#include "manage/installed_mods.h"
#include "manage/mod_records.h"
#include "manage/package_contents.h"
#include "manage/remove_any.h"
#include "manage/verify_game.h"
#include "platform/file_system.h"
#include "platform/trace.h"
#include "winapp/changes_view.h"
#include "winapp/list_dialog.h"
#include "winapp/program_icon.h"
#include "winapp/win_services.h"
#include "winapp/window_names.h"

namespace tarnwick::winapp {
namespace {

constexpr COLORREF kBackground = RGB(0, 0, 128);
constexpr COLORREF kLineColour = RGB(192, 192, 255);

constexpr wchar_t kNoPackage[] = L"[none]";
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
// Labels wrap at their width and show "&" as it is.
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;

std::string StartBanner() {
  const std::time_t now = std::time(nullptr);
  char stamp[32] = {};
  std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  return std::string(40, '#') + " " + stamp + " -- Starting mod installer";
}

std::wstring Widen(const char* ascii) { return std::wstring(ascii, ascii + strlen(ascii)); }

// The manage view's table: one row per mod, newest first.
ListRows ModRows(const std::vector<InstalledMod>& mods) {
  ListRows rows;
  for (const InstalledMod& mod : mods) {
    rows.push_back(
        {{std::to_wstring(mod.number), FromGameText(mod.title), FromGameText(mod.installed),
          std::to_wstring(mod.changes), mod.package_kept ? L"kept" : Widen(kPackageNotKept),
          mod.complete ? L"complete" : L"incomplete"}});
  }
  return rows;
}

// While it lives, the boxes and the progress window belong to `view`; then to the main window.
class OwnedBy {
 public:
  OwnedBy(HWND view, HWND main, WinMessages& messages, WinProgress& progress)
      : main_(main), messages_(messages), progress_(progress) {
    messages_.SetOwner(view);
    progress_.SetOwner(view);
  }
  ~OwnedBy() {
    messages_.SetOwner(main_);
    progress_.SetOwner(main_);
  }
  OwnedBy(const OwnedBy&) = delete;
  OwnedBy& operator=(const OwnedBy&) = delete;

 private:
  HWND main_;
  WinMessages& messages_;
  WinProgress& progress_;
};

}  // namespace

const std::vector<InstallerWindow::ToolsItem>& InstallerWindow::ToolsItems() {
  // One row per tool, in menu order; the menu is left out while there are none.
  static const std::vector<ToolsItem> items = {
      {kMenuToolsManage, L"Manage mods...", &InstallerWindow::menu_tools_manage_Click},
      {kMenuToolsVerify, L"Verify game files", &InstallerWindow::menu_tools_verify_Click},
      {kMenuToolsChanges, L"What it changes\u2026", &InstallerWindow::menu_tools_changes_Click},
  };
  return items;
}

InstallerWindow::InstallerWindow(HINSTANCE instance, WinMessages& messages, FileDialog& file_dialog,
                                 Settings& settings, WinProgress& progress)
    : instance_(instance),
      messages_(messages),
      file_dialog_(file_dialog),
      settings_(settings),
      progress_(progress),
      layout_(scale_) {
  background_ = ::CreateSolidBrush(kBackground);
  line_pen_ = ::CreatePen(PS_SOLID, 1, kLineColour);
  icon_ = MakeProgramIcon(32);
  small_icon_ = MakeProgramIcon(::GetSystemMetrics(SM_CXSMICON));
  arial9_ = MakeArialFont(scale_.FontHeight(9), false);
  arial975_ = MakeArialFont(scale_.FontHeight(9.75), false);
  arial975_bold_ = MakeArialFont(scale_.FontHeight(9.75), true);

  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance_;
  window_class.hIcon = icon_;
  window_class.hIconSm = small_icon_;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = background_;
  window_class.lpszClassName = kInstallerFormClass;
  ::RegisterClassExW(&window_class);

  window_ =
      ::CreateWindowExW(0, kInstallerFormClass, Widen(kProgramTitle).c_str(),
                        WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, CreateMenuBar(), instance_, this);
  CreateControls();
  OfferChanges(false);
  // The inside is what the design gives; a menu bar that wraps takes its room from the outside.
  const SIZE outer = OuterSizeFor(window_, kClientWidth, kClientHeight, scale_);
  ::SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER);
  RECT client{};
  ::GetClientRect(window_, &client);
  const int short_by = scale_.ToPixels(kClientHeight) - client.bottom;
  if (short_by > 0) {
    ::SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy + short_by,
                   SWP_NOMOVE | SWP_NOZORDER);
  }
}

InstallerWindow::~InstallerWindow() {
  if (window_ != nullptr) ::DestroyWindow(window_);
  readme_.reset();
  ::UnregisterClassW(kInstallerFormClass, instance_);
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(arial9_), static_cast<HGDIOBJ>(arial975_),
                         static_cast<HGDIOBJ>(arial975_bold_), static_cast<HGDIOBJ>(background_),
                         static_cast<HGDIOBJ>(line_pen_)}) {
    ::DeleteObject(object);
  }
  ::DestroyIcon(icon_);
  ::DestroyIcon(small_icon_);
}

HMENU InstallerWindow::CreateMenuBar() {
  const HMENU bar = ::CreateMenu();
  ::AppendMenuW(bar, MF_STRING, kMenuExit, L"Exit");
  if (!ToolsItems().empty()) {
    const HMENU tools = ::CreatePopupMenu();
    for (const ToolsItem& item : ToolsItems()) {
      ::AppendMenuW(tools, MF_STRING, item.id, item.text);
    }
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), L"Tools");
  }
  const HMENU help = ::CreatePopupMenu();
  ::AppendMenuW(help, MF_STRING, kMenuHelpHelp, L"Help");
  ::AppendMenuW(help, MF_STRING, kMenuHelpAbout, L"About");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), L"Help");
  return bar;
}

HWND InstallerWindow::AddControl(const wchar_t* kind, const std::wstring& text, DWORD style, int id,
                                 HFONT font, const TwipRect& rect) {
  const HWND control =
      ::CreateWindowExW(0, kind, text.c_str(), style, 0, 0, 0, 0, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  layout_.Place(control, rect);
  return control;
}

void InstallerWindow::CreateControls() {
  open_mod_button_ =
      AddControl(L"BUTTON", L"Open mod", kButton, kOpenModButton, arial9_, {120, 120, 1095, 375});
  install_mod_button_ = AddControl(L"BUTTON", L"Install", kButton | WS_DISABLED, kInstallModButton,
                                   arial9_, {120, 480, 1095, 375});
  readme_button_ =
      AddControl(L"BUTTON", L"Display readme for mod", kButton | BS_MULTILINE | WS_DISABLED,
                 kReadmeButton, arial9_, {1440, 120, 1095, 735});
  labels_[1] = AddControl(L"STATIC", L"Current mod:", kLabel, kCurrentModLabel, arial975_,
                          {120, 960, 1455, 240});
  title_box_ =
      AddControl(L"STATIC", kNoPackage, kLabel, kTitleBox, arial975_bold_, {240, 1200, 2295, 840});
  labels_[0] = AddControl(L"STATIC", L"Mods installed:", kLabel, kModsInstalledLabel,
                          arial975_bold_, {2760, 120, 1455, 255});
  mods_installed_box_ =
      AddControl(L"STATIC", L"", kLabel, kModsInstalledBox, arial975_, {2760, 360, 3540, 240});
  remove_button_ = AddControl(L"BUTTON", L"Remove latest", kButton | WS_DISABLED, kRemoveButton,
                              arial9_, {2760, 600, 1335, 375});
}

bool InstallerWindow::Form_Load() {
  TraceLog(StartBanner());
  const StartUp start = OpenGameSession(ChosenGameLocation(), game_);
  const std::wstring title =
      Widen(kProgramTitle) + (game_.CCPresent ? L" - CC found" : L" - CC not found");
  ::SetWindowTextW(window_, title.c_str());
  if (!start.Ok()) {
    if (!start.message.empty()) messages_.Error(start.message);
    ::SendMessageW(window_, WM_CLOSE, 0, 0);
    return true;
  }
  UpdateModBox();
  OfferToFinishRemoval();
  return false;
}

void InstallerWindow::OfferToFinishRemoval() {
  PendingRemoval pending;
  if (!FindPendingRemoval(game_.ModLog.LogPath, pending)) return;
  if (messages_.Confirm(kRemoveAnyTitle, ResumeQuestion(pending))) {
    if (ResumeRemoval(game_.ModLog, game_.GameFiles, game_.CCPresent, messages_, &progress_) ==
        RemovalOutcome::kPlanStale) {
      messages_.Plain(kRemoveAnyTitle, kRemovalCutOffStale);
    }
  } else {
    // The stack is valid as it stands; Remove latest works on it.
    AbandonRemoval(game_.ModLog.LogPath);
  }
  static_cast<void>(ReadModLog(game_.ModLog, game_.GameFiles, messages_));
  UpdateModBox();
}

void InstallerWindow::Show() {
  CentreOnScreen(window_);
  ::ShowWindow(window_, SW_SHOWNORMAL);
  // Showing the window runs its resize step, whether or not the system reports a new size.
  Form_Resize();
  ::UpdateWindow(window_);
}

void InstallerWindow::SetWrappedText(HWND label, const std::wstring& text) {
  ::SetWindowTextW(label, text.c_str());
  TwipRect rect = layout_.PlacedAt(label);
  rect.height = fitter_.Height(label, rect.width, scale_);
  layout_.Place(label, rect);
}

void InstallerWindow::UpdateModBox() {
  std::string text;
  if (game_.ModLog.ModCount() == 0) {
    text = "None";
    ::EnableWindow(remove_button_, FALSE);
  } else {
    for (int32_t i = game_.ModLog.ModCount(); i >= 1; --i)
      text += game_.ModLog.Mods[i].Name + "\r\n";
    ::EnableWindow(remove_button_, TRUE);
  }
  // The last name's line end would show as an empty line between the list and its button.
  if (text.size() >= 2 && text.ends_with("\r\n")) text.resize(text.size() - 2);
  // The window's outer size, frame and menu bar included, as the list has always been laid out.
  RECT outer{};
  ::GetWindowRect(window_, &outer);
  const int outer_width = scale_.ToTwips(outer.right - outer.left);
  const int outer_height = scale_.ToTwips(outer.bottom - outer.top);
  TwipRect box = layout_.PlacedAt(mods_installed_box_);
  // A window narrower than the margin would leave the list no width at all; keep one pixel.
  box.width = std::max(outer_width - kListMargin, scale_.ToTwips(1));
  layout_.Place(mods_installed_box_, box);
  SetWrappedText(mods_installed_box_, FromGameText(text));
  box = layout_.PlacedAt(mods_installed_box_);

  TwipRect remove = layout_.PlacedAt(remove_button_);
  remove.top = box.top + box.height;
  if (remove.top + remove.height > outer_height) remove.top = outer_height - remove.height;
  layout_.Place(remove_button_, remove);
}

void InstallerWindow::Form_Resize() {
  RECT client{};
  ::GetClientRect(window_, &client);
  const int inner_width = scale_.ToTwips(client.right);
  const int inner_height = scale_.ToTwips(client.bottom);
  TwipRect remove = layout_.PlacedAt(remove_button_);
  if (inner_width > kResizeMinWidth) {
    TwipRect box = layout_.PlacedAt(mods_installed_box_);
    box.width = inner_width - kListMargin;
    box.height = fitter_.Height(mods_installed_box_, box.width, scale_);
    layout_.Place(mods_installed_box_, box);
    remove.top = box.top + box.height;
  }
  if (inner_height > kResizeMinHeight) {
    line1_y2_ = inner_height - kLine1BottomGap;
    ::InvalidateRect(window_, nullptr, TRUE);
  }
  if (remove.top + remove.height > inner_height) remove.top = inner_height - remove.height;
  layout_.Place(remove_button_, remove);
}

void InstallerWindow::Paint() {
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(window_, &paint);
  const HGDIOBJ old_pen = ::SelectObject(dc, line_pen_);
  const int x = scale_.ToPixels(kLine1X);
  ::MoveToEx(dc, x, scale_.ToPixels(kLine1Y1), nullptr);
  // Both ends belong to the line.
  ::LineTo(dc, x, scale_.ToPixels(line1_y2_) + 1);
  ::SelectObject(dc, old_pen);
  ::EndPaint(window_, &paint);
}

void InstallerWindow::Form_Unload() {
  if (readme_) readme_->CloseForGood();
}

void InstallerWindow::ShowNoPackage() {
  SetWrappedText(title_box_, kNoPackage);
  ::EnableWindow(readme_button_, FALSE);
  ::EnableWindow(install_mod_button_, FALSE);
  OfferChanges(false);
}

void InstallerWindow::OfferChanges(bool offered) {
  changes_offered_ = offered;
  ::EnableMenuItem(::GetMenu(window_), kMenuToolsChanges,
                   MF_BYCOMMAND | (offered ? MF_ENABLED : MF_GRAYED));
}

void InstallerWindow::OpenModButton_Click() {
  OpenFileRequest request;
  request.initial_folder = settings_.Get("Open", "Last directory", "C:\\");
  request.title = "Select mod to install";
  request.filter_name = "Mod Project Installation files (*.mpi)";
  request.filter_pattern = "*.MPI";
  request.max_path = 256;
  std::string chosen;
  if (!file_dialog_.GetOpenFileName(request, &chosen)) return;
  OpenPackage(chosen);
}

void InstallerWindow::OpenPackage(const std::string& chosen) {
  if (chosen.empty() || !PathListed(chosen)) return;
  PackagePath = chosen;
  // Remembered before reading, so that the next dialog opens here even for a broken package.
  settings_.Set("Open", "Last directory", FolderOfPath(PackagePath));

  const PackageChoice choice = ChoosePackage(PackagePath, PackageHeader);
  if (choice != PackageChoice::kChosen) {
    messages_.Error(PackageChoiceMessage(choice));
    ShowNoPackage();
    return;
  }
  SetWrappedText(title_box_, FromGameText(PackageHeader.title));
  if (!readme_) readme_ = std::make_unique<ReadmeWindow>(instance_, scale_);
  readme_->Form_Unload();
  readme_->SetReadme(PackageHeader.readme);
  readme_->Show();
  ::EnableWindow(readme_button_, TRUE);
  ::EnableWindow(install_mod_button_, TRUE);
  OfferChanges(true);
}

void InstallerWindow::ReadmeButton_Click() {
  if (readme_) readme_->Show();
}

void InstallerWindow::InstallModButton_Click() {
  ::SetWindowTextW(install_mod_button_, L"[installing]");
  ::EnableWindow(install_mod_button_, FALSE);
  ::UpdateWindow(install_mod_button_);
  const bool failed = InstallPackage(PackagePath, PackageHeader, game_.ModLog, game_.GameFiles,
                                     game_.CCPresent, messages_, &progress_);
  if (!failed) {
    SetWrappedText(title_box_, kNoPackage);
    ::EnableWindow(readme_button_, FALSE);
    OfferChanges(false);
    messages_.Plain(kInstalledTitle, kInstalledText);
  } else {
    // Drops whatever the failed install added in memory but never saved; its message is
    // already shown and the log on disk keeps the incomplete entry for removal.
    static_cast<void>(ReadModLog(game_.ModLog, game_.GameFiles, messages_));
    ::EnableWindow(install_mod_button_, TRUE);
  }
  ::SetWindowTextW(install_mod_button_, L"Install");
  UpdateModBox();
}

void InstallerWindow::RemoveButton_Click() {
  if (game_.ModLog.ModCount() <= 0) return;
  const ModLog& log = game_.ModLog;
  if (!messages_.Confirm(kRemoveTitle, RemoveLatestQuestion(log.Mods[log.ModCount()].Name))) {
    return;
  }
  RemoveLatest(game_.ModLog, game_.GameFiles, messages_);
  UpdateModBox();
}

void InstallerWindow::menu_exit_Click() { ::SendMessageW(window_, WM_CLOSE, 0, 0); }

void InstallerWindow::menu_help_help_Click() {
  messages_.Information("Help", std::string(kHelpText) + kWebAddress);
}

void InstallerWindow::menu_help_about_Click() {
  messages_.Information("About", std::string("Tarnwick by ") + kAuthorName + " (" + kAuthorEmail +
                                     ") - unsupported beta version - very buggy!");
}

void InstallerWindow::menu_tools_verify_Click() {
  // What is on disk, not what this window last read.
  if (ReadModLog(game_.ModLog, game_.GameFiles, messages_)) return;
  UpdateModBox();
  const GameVerification verification = VerifyGame(game_, messages_);
  if (verification.findings.empty()) {
    messages_.Information(kVerifyTitle, kVerifiedText);
    return;
  }
  ListView view{.title = FromGameText(kVerifyTitle),
                .heading = FromGameText(kDriftWarning),
                .columns = {{L"File", 1560}, {L"Finding", 0}}};
  for (const VerifiedFile& file : verification.files) {
    std::string notes = file.state;
    for (const std::string& note : file.notes) notes += "; " + note;
    view.rows.push_back({{FromGameText(file.name), FromGameText(notes)}});
  }
  ShowListView(instance_, window_, scale_, view);
}

void InstallerWindow::menu_tools_manage_Click() {
  if (ReadModLog(game_.ModLog, game_.GameFiles, messages_)) return;
  UpdateModBox();
  std::vector<InstalledMod> mods = ListInstalledMods(game_, messages_);
  const ListView view{
      .title = L"Manage mods",
      .heading =
          L"Every mod installed, newest first. Remove... shows what removing the selected "
          L"mod involves before it changes anything: the newer mods come off and go back "
          L"on in their order.",
      .columns = {{L"No.", 480},
                  {L"Mod", 0},
                  {L"Installed", 1800},
                  {L"Changes", 900},
                  {L"Package", 1500},
                  {L"Install", 1000}},
      .rows = ModRows(mods),
      .width = 9600,
      .actions = {{kManageChanges, L"What it changed\u2026",
                   [&](HWND shown, size_t row) -> std::optional<ListRows> {
                     ShowListView(instance_, shown, scale_,
                                  ChangesView(InstalledChangeTable(game_.ModLog, mods[row].number,
                                                                   game_.GameFiles)));
                     return std::nullopt;
                   }},
                  {kManageRemove, L"Remove...",
                   [&](HWND shown, size_t row) -> std::optional<ListRows> {
                     const OwnedBy owned(shown, window_, messages_, progress_);
                     RemoveAnyMod(mods[row].number);
                     mods = ListInstalledMods(game_, messages_);
                     return ModRows(mods);
                   }}},
  };
  ShowListView(instance_, window_, scale_, view);
  UpdateModBox();
}

void InstallerWindow::menu_tools_changes_Click() {
  // Posted commands arrive whether or not the item is greyed.
  if (!changes_offered_) return;
  ShowListView(instance_, window_, scale_,
               ChangesView(PackageChangeTable(PackagePath, PackageHeader, game_.ModLog,
                                              game_.GameFiles, game_.CCPresent)));
}

void InstallerWindow::RemoveAnyMod(int number) {
  ModLog& log = game_.ModLog;
  // The plan is made against what is on disk, not what this window last read.
  if (ReadModLog(log, game_.GameFiles, messages_)) return;
  const RemovalPlan plan = PlanRemoval(log, game_.GameFiles, game_.CCPresent,
                                       OpenLedger(LedgerPathsFor(log.LogPath), messages_), number);
  if (!plan.Ok()) {
    std::string why;
    for (const std::string& line : Describe(plan)) why += (why.empty() ? "" : "\n") + line;
    messages_.Plain(kRemoveAnyTitle, why);
  } else if (messages_.Confirm(kRemoveAnyTitle, Question(plan))) {
    if (ApplyRemoval(plan, log, game_.GameFiles, game_.CCPresent, messages_, &progress_) ==
        RemovalOutcome::kRefused) {
      messages_.Plain(kRemoveAnyTitle, kPlanOutOfDate);
    }
    static_cast<void>(ReadModLog(log, game_.GameFiles, messages_));
  }
  UpdateModBox();
}

void InstallerWindow::Command(int id) {
  switch (id) {
    case kOpenModButton:
      return OpenModButton_Click();
    case kInstallModButton:
      return InstallModButton_Click();
    case kReadmeButton:
      return ReadmeButton_Click();
    case kRemoveButton:
      return RemoveButton_Click();
    case kMenuExit:
      return menu_exit_Click();
    case kMenuHelpHelp:
      return menu_help_help_Click();
    case kMenuHelpAbout:
      return menu_help_about_Click();
    default:
      break;
  }
  for (const ToolsItem& item : ToolsItems()) {
    if (item.id == id) return (this->*item.handler)();
  }
}

LRESULT CALLBACK InstallerWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<InstallerWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(window, message, wparam, lparam);
}

LRESULT InstallerWindow::Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      // Buttons send BN_CLICKED (0), menus 0 as well; accelerators are not used.
      if (HIWORD(wparam) == BN_CLICKED) Command(LOWORD(wparam));
      return 0;
    case WM_SIZE:
      if (remove_button_ != nullptr && wparam != SIZE_MINIMIZED) Form_Resize();
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_CTLCOLORSTATIC: {
      // White text on the window's own navy, as if the labels had no background.
      const HDC dc = reinterpret_cast<HDC>(wparam);
      ::SetTextColor(dc, RGB(255, 255, 255));
      ::SetBkMode(dc, TRANSPARENT);
      ::SetBkColor(dc, kBackground);
      return reinterpret_cast<LRESULT>(background_);
    }
    case WM_CLOSE:
      Form_Unload();
      ::DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace tarnwick::winapp
