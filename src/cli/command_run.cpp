#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "platform/text_codec.h"

namespace tarnwick::cli {

CommandRun::CommandRun(const CommandLine& line, Console& console)
    : line_(line), console_(console), messages_(console) {
  result_["command"] = line.command;
}

bool CommandRun::OpenGame() {
  const StartUp start = OpenGameSession(line_.location, session_);
  if (!start.Ok()) {
    messages_.Error(start.message);
    return false;
  }
  result_["game"] = {{"game_path", Cp1252ToUtf8(session_.GamePath)},
                     {"clone_campaigns", session_.CCPresent}};
  return true;
}

void CommandRun::Say(const std::string& text) {
  console_.SayLine(text);
  result_["notes"].push_back(text);
}

int CommandRun::Finish(int exit_code) {
  if (line_.json) {
    result_["ok"] = exit_code == kExitOk;
    result_["exit_status"] = exit_code;
    nlohmann::json shown = nlohmann::json::array();
    for (const ConsoleMessages::Shown& box : messages_.shown()) {
      shown.push_back({{"kind", box.kind}, {"title", box.title}, {"text", box.text}});
    }
    result_["messages"] = std::move(shown);
    if (!result_.contains("notes")) result_["notes"] = nlohmann::json::array();
    console_.PrintLine(result_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace));
  }
  return exit_code;
}

}  // namespace tarnwick::cli
