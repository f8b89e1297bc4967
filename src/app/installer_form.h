#pragma once

#include <QMainWindow>
#include <memory>

#include "app/choose_game_dialog.h"
#include "app/fitting_label.h"
#include "app/installer_state.h"
#include "manage/open_game.h"
#include "platform/file_dialog.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "platform/settings.h"

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace tarnwick {

class ChangesWindow;
class ReadmeForm;
class VerifyWindow;

// The main window: owns the process's state and runs every command to its end.
class InstallerForm : public QMainWindow {
 public:
  // `progress` may be null (no progress shown); without a `chooser` the window asks with its own
  // dialog.
  InstallerForm(Messages& messages, FileDialog& file_dialog, Settings& settings, Progress* progress,
                InstallChooser* chooser = nullptr);
  ~InstallerForm() override;

  // Finds the game (asking which when several are found and none is remembered), checks its
  // files and reads the mod log. True when it failed: the user has been told, and the window has
  // been closed without ever being shown.
  [[nodiscard]] bool Form_Load();

  void UpdateModBox();
  void Form_Resize();
  void Form_Unload();

  void OpenModButton_Click();
  // "Open mod" for a package chosen elsewhere (a program path), from its check onwards.
  void OpenPackage(const std::string& chosen);
  void ReadmeButton_Click();
  void InstallModButton_Click();
  void RemoveButton_Click();
  void menu_exit_Click();
  void menu_help_help_Click();
  void menu_help_about_Click();
  // Tools > Manage mods...: the mods with their records; any of them can be removed there.
  void menu_tools_manage_Click();
  // After a start that succeeded: a removal cut off earlier is offered to be finished, or left
  // as it stands.
  void OfferToFinishRemoval();
  // Lets the player switch to another install; the window then starts over on it.
  void menu_tools_choose_game_Click();
  void menu_tools_verify_Click();
  // Tools > What it changes…, and the readme window's button: the chosen package's plan with the
  // installed mods it meets.
  void menu_tools_changes_Click();

  InstallerState& State() { return state_; }

  QPushButton* OpenModButton() const { return open_mod_button_; }
  QPushButton* InstallModButton() const { return install_mod_button_; }
  QPushButton* ReadmeButton() const { return readme_button_; }
  QPushButton* RemoveButton() const { return remove_button_; }
  QLabel* TitleBox() const { return title_box_; }
  QLabel* ModsInstalledBox() const { return mods_installed_box_; }
  QLabel* Labels(int index) const { return labels_[index == 0 ? 0 : 1]; }
  QWidget* Line1() const { return line1_; }
  // Line1's lower end, in twips; the rest of the line never moves.
  int Line1Y2() const { return line1_y2_; }
  ReadmeForm* Readme() const { return readme_.get(); }
  QAction* MenuExit() const { return menu_exit_; }
  QAction* MenuHelpHelp() const { return menu_help_help_; }
  QAction* MenuHelpAbout() const { return menu_help_about_; }
  QAction* MenuToolsManage() const { return menu_tools_manage_; }
  QMenu* MenuTools() const { return menu_tools_; }
  QAction* MenuToolsChooseGame() const { return menu_tools_choose_game_; }
  QAction* MenuToolsVerify() const { return menu_tools_verify_; }
  VerifyWindow* Verify() const { return verify_.get(); }
  QAction* MenuToolsChanges() const { return menu_tools_changes_; }
  ChangesWindow* Changes() const { return changes_.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SetWrappedText(QLabel* label, const QString& text);
  void ShowNoPackage();
  // "What it changes…" is offered while a package is chosen and not yet installed.
  void OfferChanges(bool offered);
  void PlaceLine1();
  // The list keeps the height its names need (its placed twips), but as a widget it ends at the
  // bottom of the window's inside: a label lays out all of its text each time it paints, and
  // below that edge nothing of it shows.
  void ClipList();
  // The list's height at a width: the whole text's, or, until the list has been painted, only as
  // much of it as decides where the Remove button goes; FitWholeList then fits all of it.
  int ListHeight(int width_twips);
  void FitWholeList();
  QAction* AddToolsItem(const char* name, const QString& text, void (InstallerForm::*handler)());
  void SetTitleSuffix();
  // Takes the opened game and its log as the window's state, as start-up leaves it.
  void TakeGame(const GameInstall* install, const OpenedGame& game, ModLog log);

  Messages& messages_;
  FileDialog& file_dialog_;
  Settings& settings_;
  Progress* progress_;
  InstallerState state_;

  QWidget* client_;
  QPushButton* open_mod_button_;
  QPushButton* install_mod_button_;
  QPushButton* readme_button_;
  QPushButton* remove_button_;
  QLabel* title_box_;
  FittingLabel* mods_installed_box_;
  bool list_height_whole_ = true;
  bool whole_fit_posted_ = false;
  QLabel* labels_[2];
  QWidget* line1_;
  int line1_y2_ = 3360;
  QAction* menu_exit_;
  QAction* menu_help_help_;
  QAction* menu_help_about_;
  QAction* menu_tools_manage_;
  QMenu* menu_tools_;
  QAction* menu_tools_choose_game_;
  QtInstallChooser own_chooser_;
  InstallChooser* chooser_;
  GameInstall install_;  // the one opened; empty before
  QAction* menu_tools_verify_;
  QAction* menu_tools_changes_;
  std::unique_ptr<ReadmeForm> readme_;
  std::unique_ptr<VerifyWindow> verify_;
  std::unique_ptr<ChangesWindow> changes_;
  bool centred_ = false;
};

}  // namespace tarnwick
