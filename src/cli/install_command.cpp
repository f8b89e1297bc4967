#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/progress_bar.h"
#include "manage/face_texts.h"
#include "manage/install_package.h"
#include "manage/package_contents.h"
#include "platform/text_codec.h"

namespace tarnwick::cli {

int CommandRun::Install() {
  if (!OpenGame() || !ChoosePackageFile()) return Finish(kExitRefused);
  PlanPackage();
  result_["package"] = PackageJson();
  result_["plan"] = PlanJson();
  if (!line_.json) {
    PrintPackage();
    PrintPlan();
  }
  if (!messages_.Confirm(kInstalledTitle, "Install " + header_.title + "?")) {
    result_["declined"] = true;
    return Finish(kExitRefused);
  }
  ConsoleProgress progress(console_, PayloadBytes(header_));
  const bool failed = InstallPackage(package_path_, header_, session_.ModLog, session_.GameFiles,
                                     session_.CCPresent, messages_, &progress);
  progress.End();
  if (failed) {
    if (messages_.declined()) result_["declined"] = true;
    return Finish(kExitRefused);
  }
  const ModLog& log = session_.ModLog;
  result_["installed"] = {{"number", log.ModCount()},
                          {"title", Cp1252ToUtf8(header_.title)},
                          {"changes", log.Mods[log.ModCount()].ChangeCount()}};
  messages_.Plain(kInstalledTitle, kInstalledText);
  return Finish(kExitOk);
}

}  // namespace tarnwick::cli
