#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/installer_form.h"
#include "app/program_icon.h"
#include "app/qt_services.h"
#include "cli/command_line.h"
#include "manage/game_session.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/trace.h"

namespace {

void TraceToStderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

// Qt ends the process when it finds no screen; say so in the program's own words instead.
bool HasScreen() {
#if defined(__linux__)
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
#else
  return true;
#endif
}

int RunWindow(int argc, char* argv[], const tarnwick::cli::CommandLine& line,
              tarnwick::cli::Console& console) {
  if (!HasScreen()) {
    console.SayLine(
        "tarnwick: there is no screen to open the window on; the commands (tarnwick --help) "
        "work without one.");
    return 1;
  }
  tarnwick::SetGameLocation(line.location);
  QApplication application(argc, argv);
  QApplication::setWindowIcon(tarnwick::ProgramIcon());

  tarnwick::QtMessages messages;
  tarnwick::QtFileDialog file_dialog;
  tarnwick::QtSettings settings;
  tarnwick::QtProgress progress;
  tarnwick::InstallerForm form(messages, file_dialog, settings, &progress);
  messages.SetOwner(&form);
  file_dialog.SetOwner(&form);
  progress.SetOwner(&form);

  if (form.Form_Load()) return 1;
  form.show();
  // A package handed over by a file manager, as if chosen with "Open mod"; its path maps into
  // the prefix that start-up found.
  if (!line.package.empty()) form.OpenPackage(tarnwick::ProgramPathFromHost(line.package));
  return QApplication::exec();
}

}  // namespace

// With a command word the program runs on the console and never touches the display; without
// one it opens its window.
int main(int argc, char* argv[]) {
  // A file-size limit then ends an install like a full disk, with its message.
  tarnwick::IgnoreFileSizeSignal();
  if (std::getenv("TARNWICK_TRACE") != nullptr) tarnwick::SetTraceSink(&TraceToStderr);
  tarnwick::cli::Console console(stdin, stdout, stderr);
  int exit_code = 0;
  const auto line = tarnwick::cli::ParseCommandLine(argc, argv, console, &exit_code);
  if (!line) return exit_code;
  if (line->command.empty()) return RunWindow(argc, argv, *line, console);
  return tarnwick::cli::RunCommand(*line, console);
}
