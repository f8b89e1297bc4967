#include "manage/game_session.h"

#include <utility>

#include "manage/open_game.h"
#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/trace.h"

namespace tarnwick {
namespace {

GameLocation g_location;

// Keeps the first box the log shows, so that start-up can hand its text back instead.
class FirstMessage : public Messages {
 public:
  void Error(const std::string& text) override { Keep(text); }
  void Information(const std::string&, const std::string& text) override { Keep(text); }
  void Plain(const std::string&, const std::string& text) override { Keep(text); }
  bool Confirm(const std::string&, const std::string& text) override {
    Keep(text);
    return false;
  }
  std::string text;

 private:
  void Keep(const std::string& shown) {
    if (text.empty()) text = shown;
  }
};

// The game's folder given by hand: the folder is the game, its files decide the edition.
GameInstall InstallInFolder(const std::string& host_folder, const std::string& prefix) {
  GameInstall install;
  install.prefix = prefix;
  install.label = "Game folder";
  std::string host = host_folder;
  if (host.empty() || host.back() != '/') host += '/';
  // Without a prefix the folder's path goes through the host's root, Z:.
  SetWinePrefix(prefix);
  install.game_path = ProgramPathFromHost(host);
  if (install.game_path.empty() || install.game_path.back() != '\\') install.game_path += '\\';
  const GameFiles files = MakeGameFiles(install.game_path, install.game_path + "data\\");
  for (int i = kCcOffset; i < kCcOffset + 8; ++i) {
    if (PathListed(files[static_cast<size_t>(i)])) install.cc_present = true;
  }
  return install;
}

}  // namespace

void SetGameLocation(GameLocation location) { g_location = std::move(location); }
const GameLocation& ChosenGameLocation() { return g_location; }

std::vector<GameInstall> FindInstalls(const GameLocation& location) {
  if (!location.game_folder.empty())
    return {InstallInFolder(location.game_folder, location.prefix)};
  if (!location.prefix.empty()) return FindGameInstallsIn(location.prefix);
  return FindGameInstalls();
}

StartUp OpenGameSession(const GameLocation& location, GameSession& session) {
  const std::vector<GameInstall> installs = FindInstalls(location);
  const InstallPick pick = PickInstall(installs, {});
  OpenedGame game;
  const OpenGameResult result = OpenGame(pick.index ? &installs[*pick.index] : nullptr, game);
  session.GamePath = game.GamePath;
  session.DataPath = game.DataPath;
  session.CCPresent = game.CCPresent;
  session.GameFiles = game.GameFiles;
  switch (result) {
    case OpenGameResult::kOpened:
      break;
    case OpenGameResult::kNoGame:
      TraceLog(OpenGameTrace(result));
      return {StartOutcome::kGameNotFound, OpenGameMessage(result)};
    case OpenGameResult::kNoBaseFiles:
      TraceLog(OpenGameTrace(result));
      return {StartOutcome::kBaseFilesMissing, OpenGameMessage(result)};
    case OpenGameResult::kNoCcFiles:
      TraceLog(OpenGameTrace(result));
      return {StartOutcome::kCcFilesMissing, OpenGameMessage(result)};
  }
  session.ModLog.LogPath = session.DataPath + "mods.log";
  FirstMessage shown;
  if (ReadModLog(session.ModLog, session.GameFiles, shown)) {
    return {StartOutcome::kLogUnusable, shown.text};
  }
  return {};
}

}  // namespace tarnwick
