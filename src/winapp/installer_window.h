#pragma once

#include <memory>
#include <string>
#include <vector>

#include "manage/game_session.h"
#include "package/package.h"
#include "platform/file_dialog.h"
#include "platform/settings.h"
#include "winapp/readme_window.h"
#include "winapp/twips.h"
#include "winapp/win32.h"
#include "winapp/win_services.h"

namespace tarnwick::winapp {

// The main window: owns the process's state and runs every command to its end on the one
// thread. It decides nothing itself: it shows what the shared operations return.
class InstallerWindow {
 public:
  // The boxes and the progress window belong to the main window, and to a view while it is up.
  InstallerWindow(HINSTANCE instance, WinMessages& messages, FileDialog& file_dialog,
                  Settings& settings, WinProgress& progress);
  ~InstallerWindow();
  InstallerWindow(const InstallerWindow&) = delete;
  InstallerWindow& operator=(const InstallerWindow&) = delete;

  HWND Window() const { return window_; }

  // Finds the game, checks its files and reads the mod log. True when it failed: the player has
  // been told, and the window has been closed without ever being shown.
  [[nodiscard]] bool Form_Load();
  // Centres the window on the screen and shows it.
  void Show();
  // A package handed to the program, taken as if chosen with "Open mod".
  void OpenPackage(const std::string& chosen);

  void UpdateModBox();
  void Form_Resize();
  void Form_Unload();

  void OpenModButton_Click();
  void ReadmeButton_Click();
  void InstallModButton_Click();
  void RemoveButton_Click();
  void menu_exit_Click();
  void menu_help_help_Click();
  void menu_help_about_Click();
  void menu_tools_verify_Click();
  // Tools > Manage mods...: the mods with their records; any of them can be removed there, and
  // what each changed is shown.
  void menu_tools_manage_Click();
  // Tools > What it changes…: the chosen package's plan with the installed mods it meets.
  void menu_tools_changes_Click();

 private:
  // An item of the Tools menu: its id, text and handler. Each tool is one row of ToolsItems().
  struct ToolsItem {
    int id;
    const wchar_t* text;
    void (InstallerWindow::*handler)();
  };
  static const std::vector<ToolsItem>& ToolsItems();

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void CreateControls();
  HMENU CreateMenuBar();
  HWND AddControl(const wchar_t* kind, const std::wstring& text, DWORD style, int id, HFONT font,
                  const TwipRect& rect);
  void SetWrappedText(HWND label, const std::wstring& text);
  void ShowNoPackage();
  // "What it changes…" is offered while a package is chosen and not yet installed.
  void OfferChanges(bool offered);
  void Paint();
  void Command(int id);
  // A removal cut off earlier: asks whether to finish it, and finishes or forgets it.
  void OfferToFinishRemoval();
  // Plans the removal of mod `number` (1 = oldest), shows the plan, and carries it out on OK.
  void RemoveAnyMod(int number);

  HINSTANCE instance_;
  WinMessages& messages_;
  FileDialog& file_dialog_;
  Settings& settings_;
  WinProgress& progress_;
  TwipScale scale_;
  TwipLayout layout_;
  LabelFitter fitter_;

  // The game with its log, and the package chosen last.
  GameSession game_;
  std::string PackagePath;
  tarnwick::PackageHeader PackageHeader;
  bool changes_offered_ = false;

  HWND window_ = nullptr;
  HWND open_mod_button_ = nullptr;
  HWND install_mod_button_ = nullptr;
  HWND readme_button_ = nullptr;
  HWND remove_button_ = nullptr;
  HWND labels_[2] = {};
  HWND title_box_ = nullptr;
  HWND mods_installed_box_ = nullptr;
  int line1_y2_ = 3360;
  HFONT arial9_ = nullptr;
  HFONT arial975_ = nullptr;
  HFONT arial975_bold_ = nullptr;
  HBRUSH background_ = nullptr;
  HPEN line_pen_ = nullptr;
  HICON icon_ = nullptr;
  HICON small_icon_ = nullptr;
  std::unique_ptr<ReadmeWindow> readme_;
};

}  // namespace tarnwick::winapp
