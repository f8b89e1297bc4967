#pragma once

#include <QDialog>
#include <memory>

#include "app/installer_state.h"
#include "manage/remove_any.h"
#include "platform/file_dialog.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "platform/settings.h"

class QPushButton;
class QTreeWidget;

namespace tarnwick {

class ChangesWindow;

// "Manage mods...": every installed mod, newest first, with its install date, number of changes,
// whether its package is kept and whether its install completed. "Remove..." removes the selected
// mod after showing the plan: the newer mods come off and go back on in their order. When only
// packages that are not kept stop it, the player may choose each one's file, and it is planned
// again with them. "What it changed…" shows the selected mod's changes and which of them newer
// mods override.
class ManageWindow : public QDialog {
 public:
  // `progress` may be null.
  ManageWindow(InstallerState& state, Messages& messages, FileDialog& file_dialog,
               Settings& settings, Progress* progress, QWidget* parent = nullptr);
  ~ManageWindow() override;

  // Fills the list from the log and Tarnwick's records.
  void Refresh();
  // Plans the removal of the selected mod, shows the plan and asks; removes on OK.
  void RemoveButton_Click();
  // Shows what the selected mod changed.
  void ChangesButton_Click();

  QTreeWidget* ModList() const { return list_; }
  QPushButton* RemoveButton() const { return remove_button_; }
  QPushButton* ChangesButton() const { return changes_button_; }
  ChangesWindow* Changes() const { return changes_.get(); }
  // The mod's number in the log (1 = oldest) of the list's row.
  int NumberOfRow(int row) const;

 private:
  // Asks for the package files of the mods `plan` misses and plans again with them; false when
  // the player declined or cancelled a dialog.
  bool ChooseMissingPackages(RemovalPlan& plan, const Ledger& ledger);

  InstallerState& state_;
  Messages& messages_;
  FileDialog& file_dialog_;
  Settings& settings_;
  Progress* progress_;
  QTreeWidget* list_;
  QPushButton* remove_button_;
  QPushButton* changes_button_;
  std::unique_ptr<ChangesWindow> changes_;
};

}  // namespace tarnwick
