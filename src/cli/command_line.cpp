#include "cli/command_line.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <filesystem>
#include <sstream>

#include "cli/commands.h"
#include "cli/exit_codes.h"

namespace tarnwick::cli {
namespace {

constexpr char kDescription[] =
    "Tarnwick installs and removes mods of Star Wars Galactic Battlegrounds.\n"
    "Without a command it opens its window (with FILE.mpi already chosen, when given).";

}  // namespace

std::optional<CommandLine> ParseCommandLine(int argc, const char* const* argv, Console& console,
                                            int* exit_code) {
  CommandLine line;
  CLI::App app(kDescription, "tarnwick");
  app.set_version_flag("--version", std::string("tarnwick ") + TARNWICK_VERSION);
  // Global options may stand after the command word too.
  app.fallthrough();
  app.require_subcommand(0, 1);
  app.add_option("--prefix", line.location.prefix, "Use the Wine prefix DIR and no other")
      ->type_name("DIR");
  app.add_option("--game", line.location.game_folder, "Use the game folder DIR directly")
      ->type_name("DIR");
  app.add_flag("--json", line.json, "Give the result as JSON on standard output");
  app.add_flag("-y,--yes", line.yes, "Answer yes to the question instead of asking");
  // Its own variable: an argument left over after a command's own lands here too.
  std::string window_package;
  app.add_option("FILE", window_package, "A package (.mpi) to choose in the window");

  CLI::App* list = app.add_subcommand("list", "Installed mods, newest first");
  CLI::App* show = app.add_subcommand(
      "show",
      "A package's contents, its plan and the installed mods it overrides; or mod N's changes");
  show->add_option("FILE|N", line.package, "The package (.mpi), or a mod's number in list")
      ->required();
  CLI::App* install =
      app.add_subcommand("install", "Install a package, after showing its plan and asking");
  install->add_option("FILE", line.package, "The package (.mpi)")->required();
  CLI::App* remove =
      app.add_subcommand("remove", "Remove the latest mod, or mod N as list numbers it");
  remove->add_option("N", line.number, "The mod's number in list");
  remove->add_flag("--resume", line.resume,
                   "Finish a removal that was cut off (or, answered no, leave the mods as they "
                   "are)");
  std::vector<std::string> package_files;
  remove
      ->add_option("--package", package_files,
                   "The package file of mod POS, whose package is not kept, to put it back; "
                   "taken only if it is that mod's package (may be given once per mod)")
      ->type_name("POS=FILE")
      ->allow_extra_args(false);
  for (CLI::App* command : {install, remove}) {
    CLI::Option* start_over = command->add_flag(
        "--start-over", line.start_over,
        "If the game files changed under Tarnwick: start over from the game as it is now");
    command
        ->add_flag("--carry-on", line.carry_on,
                   "If the game files changed under Tarnwick where no installed mod relies on "
                   "them: carry on")
        ->excludes(start_over);
  }
  CLI::App* verify = app.add_subcommand("verify", "Check the game files against the mod log");

  std::ostringstream out;
  std::ostringstream err;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error, out, err);
    std::string printed = out.str();
    while (!printed.empty() && printed.back() == '\n') printed.pop_back();
    if (!printed.empty()) console.PrintLine(printed);
    if (!err.str().empty()) console.SayRaw(err.str());
    *exit_code = code == 0 ? kExitOk : kExitUsage;
    return std::nullopt;
  }
  for (CLI::App* command : {list, show, install, remove, verify}) {
    if (command->parsed()) line.command = command->get_name();
  }
  const auto usage_error = [&](const std::string& text) {
    console.SayLine("tarnwick: " + text);
    *exit_code = kExitUsage;
    return std::nullopt;
  };
  if (line.number && *line.number < 1) {
    return usage_error("N is a mod's number as tarnwick list shows it: 1 or more.");
  }
  // show N: a word of digits alone is a mod's number; a package so named is given with a folder.
  if (line.command == "show" && !line.package.empty() &&
      line.package.find_first_not_of("0123456789") == std::string::npos) {
    int number = 0;
    const char* end = line.package.data() + line.package.size();
    if (std::from_chars(line.package.data(), end, number).ptr != end || number < 1) {
      return usage_error("N is a mod's number as tarnwick list shows it: 1 or more.");
    }
    line.number = number;
    line.package.clear();
  }
  if (line.resume && line.number) {
    return usage_error("remove --resume finishes the removal that was cut off; it takes no N.");
  }
  for (const std::string& given : package_files) {
    const size_t equals = given.find('=');
    int position = 0;
    const char* end = given.data() + (equals == std::string::npos ? 0 : equals);
    const auto [parsed, error] = std::from_chars(given.data(), end, position);
    if (equals == std::string::npos || equals == 0 || error != std::errc() || parsed != end ||
        position < 1) {
      return usage_error(
          "--package takes POS=FILE, POS a mod's number as tarnwick list shows it: " + given);
    }
    std::string file = given.substr(equals + 1);
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(file, ignored)) {
      return usage_error("--package " + given + ": there is no file " + file + ".");
    }
    line.package_files.emplace_back(position, std::move(file));
  }
  if (line.resume && !line.package_files.empty()) {
    return usage_error(
        "remove --resume takes the packages its plan recorded; it takes no --package.");
  }
  if (line.command.empty()) {
    line.package = window_package;
  } else if (!window_package.empty()) {
    return usage_error("unexpected argument after " + line.command + ": " + window_package);
  }
  if (line.command.empty() && (line.json || line.yes)) {
    return usage_error("--json and --yes go with a command; tarnwick --help lists them.");
  }
  // A mistyped command would otherwise open the window on a package that is not there.
  std::error_code ignored;
  if (line.command.empty() && !line.package.empty() &&
      !std::filesystem::is_regular_file(line.package, ignored)) {
    return usage_error(line.package +
                       " is neither a command nor a package file; tarnwick --help lists the "
                       "commands.");
  }
  return line;
}

int RunCommand(const CommandLine& line, Console& console) {
  console.SetAssumeYes(line.yes);
  CommandRun run(line, console);
  if (line.command == "list") return run.List();
  if (line.command == "show") return run.Show();
  if (line.command == "install") return run.Install();
  if (line.command == "remove") return run.Remove();
  if (line.command == "verify") return run.Verify();
  return kExitUsage;
}

}  // namespace tarnwick::cli
