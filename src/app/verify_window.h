#pragma once

#include <QWidget>

#include "manage/game_session.h"
#include "platform/messages.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace tarnwick {

// "Verify game files": every file the drift check looked at with its state ("as Tarnwick left
// it", "changed since", "missing") and what changed, and every installed mod with whether its
// package is kept. It only reads; the choices come with the next install or removal.
class VerifyWindow : public QWidget {
 public:
  VerifyWindow();

  // Checks the game again and fills the tables.
  void Refresh(const GameSession& session, Messages& messages);

  QLabel* Summary() const { return summary_; }
  QTableWidget* FilesTable() const { return files_table_; }
  QTableWidget* ModsTable() const { return mods_table_; }
  QPushButton* CloseButton() const { return close_button_; }

 private:
  QLabel* summary_;
  QTableWidget* files_table_;
  QTableWidget* mods_table_;
  QPushButton* close_button_;
};

}  // namespace tarnwick
