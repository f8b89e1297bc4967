#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "manage/face_texts.h"
#include "manage/install_package.h"
#include "platform/text_codec.h"

namespace tarnwick::cli {

int CommandRun::Remove() {
  if (!OpenGame()) return Finish(kExitRefused);
  ModLog& log = session_.ModLog;
  const int latest = log.ModCount();
  if (latest == 0) {
    Say("No mod is installed: there is nothing to remove.");
    return Finish(kExitRefused);
  }
  const int number = line_.number.value_or(latest);
  if (number > latest) {
    Say("There is no mod number " + std::to_string(number) + "; tarnwick list shows the numbers.");
    return Finish(kExitRefused);
  }
  if (number != latest) {
    Say("Only the latest mod (number " + std::to_string(latest) +
        ") can be removed for now; remove the mods above mod " + std::to_string(number) +
        " first, newest first.");
    return Finish(kExitRefused);
  }
  const ModLogEntry removed = log.Mods[latest];
  if (!messages_.Confirm(kRemoveTitle, RemoveLatestQuestion(removed.Name))) {
    result_["declined"] = true;
    return Finish(kExitRefused);
  }
  RemoveLatest(log, session_.GameFiles, messages_);
  if (messages_.error_shown()) return Finish(kExitRefused);
  result_["removed"] = {{"number", latest},
                        {"title", Cp1252ToUtf8(removed.Name)},
                        {"changes", removed.ChangeCount()}};
  if (!line_.json) {
    console_.PrintLine("Removed mod " + std::to_string(latest) + ": " + Cp1252ToUtf8(removed.Name));
  }
  return Finish(kExitOk);
}

}  // namespace tarnwick::cli
