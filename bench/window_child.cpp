// The window's start-up, timed in a process of its own (the benchmark program starts it once per
// run): Qt's application object, then the main window from its construction through Form_Load
// (finding the game, reading the log, filling the list) and show to the first paint of the list
// of installed mods. The game is the one WINEPREFIX holds; messages are recorded, not shown.
//
//   tarnwick-bench-window RESULT_FILE LAUNCHED
//
// LAUNCHED is the steady clock's count (nanoseconds) when the parent started it. Writes
// "window_seconds application_seconds launch_to_paint_seconds" to RESULT_FILE; exit code 0 when
// the window started without a box and painted its list.

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/installer_form.h"
#include "app/qt_services.h"
#include "fixtures/recording_messages.h"
#include "platform/file_dialog.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class NoFileDialog : public tarnwick::FileDialog {
 public:
  bool GetOpenFileName(const tarnwick::OpenFileRequest&, std::string*) override { return false; }
};

// Notes that the watched widget got its paint event; the paint itself follows within the same
// round of event processing.
class PaintWatch : public QObject {
 public:
  bool painted = false;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return QObject::eventFilter(watched, event);
  }
};

// Qt's notes about the platform (no runtime folder, size hints) would only clutter the report.
void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string result_file = argv[1];
  const Clock::time_point launched{Clock::duration(std::strtoll(argv[2], nullptr, 10))};
  qInstallMessageHandler(Quiet);
  int qt_argc = 1;
  Clock::time_point start = Clock::now();
  QApplication application(qt_argc, argv);
  const double application_seconds = SecondsSince(start);

  tarnwick::fixtures::RecordingMessages messages;
  NoFileDialog file_dialog;
  tarnwick::QtSettings settings;
  PaintWatch watch;
  start = Clock::now();
  tarnwick::InstallerForm form(messages, file_dialog, settings, nullptr);
  if (form.Form_Load()) return 1;
  form.ModsInstalledBox()->installEventFilter(&watch);
  form.show();
  const Clock::time_point give_up = start + std::chrono::seconds(20);
  while (!watch.painted && Clock::now() < give_up) QCoreApplication::processEvents();
  const double window_seconds = SecondsSince(start);
  const double launch_to_paint = SecondsSince(launched);

  std::ofstream out(result_file, std::ios::trunc);
  out << window_seconds << " " << application_seconds << " " << launch_to_paint << "\n";
  return watch.painted && messages.boxes.empty() && out.flush() ? 0 : 1;
}
