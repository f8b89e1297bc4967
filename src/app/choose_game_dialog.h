#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "platform/registry.h"

class QTreeWidget;

namespace tarnwick {

// Asks the player which of several installs of the game to work on.
class InstallChooser {
 public:
  virtual ~InstallChooser() = default;
  // The index of the chosen install, or none when the player cancelled. `current` is selected
  // at first.
  virtual std::optional<size_t> ChooseInstall(const std::vector<GameInstall>& installs,
                                              size_t current) = 0;
};

// The list of installs, each with where it was found, its game folder and its Wine prefix.
class ChooseGameDialog : public QDialog {
 public:
  ChooseGameDialog(const std::vector<GameInstall>& installs, size_t current, QWidget* parent);
  QTreeWidget* List() const { return list_; }
  // The selected row, or none.
  std::optional<size_t> Chosen() const;

 private:
  QTreeWidget* list_;
};

class QtInstallChooser : public InstallChooser {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  std::optional<size_t> ChooseInstall(const std::vector<GameInstall>& installs,
                                      size_t current) override;

 private:
  QWidget* owner_ = nullptr;
};

}  // namespace tarnwick
