#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/installer_form.h"
#include "app/program_icon.h"
#include "app/qt_services.h"
#include "platform/file_system.h"
#include "platform/trace.h"

namespace {

void TraceToStderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace

int main(int argc, char* argv[]) {
  // A file-size limit then ends an install like a full disk, with its message.
  tarnwick::IgnoreFileSizeSignal();
  if (std::getenv("TARNWICK_TRACE") != nullptr) tarnwick::SetTraceSink(&TraceToStderr);
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
  return QApplication::exec();
}
