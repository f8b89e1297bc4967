#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "cli/command_line.h"
#include "cli/console.h"
#include "cli/console_messages.h"
#include "install/install_plan.h"
#include "manage/conflicts.h"
#include "manage/game_session.h"
#include "package/package.h"

namespace tarnwick::cli {

// One command from start to exit status: opens the game as the window's start-up does, runs the
// shared operation, and shows its result as text or, with --json, as one JSON object.
class CommandRun {
 public:
  CommandRun(const CommandLine& line, Console& console);

  int List();
  int Show();
  int Install();
  int Remove();
  int Verify();

 private:
  // Any mod but the latest: the plan shown, one question, then its steps.
  int RemoveAny(int number);
  int ResumeRemove();
  // False after the start-up's message.
  [[nodiscard]] bool OpenGame();
  // Reads the command's package as "Open mod" does; false after its message.
  [[nodiscard]] bool ChoosePackageFile();
  void PrintPackage();
  [[nodiscard]] nlohmann::json PackageJson() const;
  // The changes installing the chosen package would record and the installed mods they meet,
  // computed once without writing anything; then shown, as JSON in the result and as text.
  void PlanPackage();
  [[nodiscard]] nlohmann::json PlanJson() const;
  void PrintPlan();
  // What installed mod `number` changed and which of it newer mods override.
  int ShowInstalled(int number);
  // A message of the command line's own, on standard error.
  void Say(const std::string& text);
  // Prints the JSON result when asked, and gives the exit status back.
  int Finish(int exit_code);

  const CommandLine& line_;
  Console& console_;
  ConsoleMessages messages_;
  GameSession session_;
  std::string package_path_;  // program path
  PackageHeader header_;
  InstallPlan plan_;
  std::vector<Conflict> conflicts_;  // one per plan_.changes
  nlohmann::json result_;
};

}  // namespace tarnwick::cli
