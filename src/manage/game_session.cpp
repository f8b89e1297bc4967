#include "manage/game_session.h"

#include <utility>

#include "platform/file_system.h"
#include "platform/host_path.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "platform/trace.h"
#ifndef _WIN32
#include "platform/text_codec.h"
#include "platform/wine_registry.h"
#endif

namespace tarnwick {
namespace {

constexpr char kNoGame[] =
    "Unable to find SWGB! Please ensure that it is correctly installed and that it has been run at "
    "least once.";
constexpr char kNoBaseFiles[] =
    "Unable to find SWGB data files! Please ensure that the game is correctly installed.";
constexpr char kNoCcFiles[] =
    "Unable to find CC data files! Please ensure that the game is correctly installed.";

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

std::string WithBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

// The game's folder given by hand: the folder is the game, its files decide the edition.
FoundGame GameInFolder(const std::string& host_folder) {
  FoundGame found;
  std::string host = host_folder;
  if (host.empty() || host.back() != '/') host += '/';
  found.GamePath = WithBackslash(ProgramPathFromHost(host));
  const GameFiles files = MakeGameFiles(found.GamePath, found.GamePath + "data\\");
  for (int i = kCcOffset; i < kCcOffset + 8; ++i) {
    if (PathListed(files[static_cast<size_t>(i)])) found.CCPresent = true;
  }
  return found;
}

// One value of the chosen prefix's registry, in the 32-bit program's view first.
std::string ReadPrefixValue(const std::string& prefix, const std::string& sub_key) {
#ifdef _WIN32
  static_cast<void>(prefix);
  static_cast<void>(sub_key);
  return {};
#else
  const auto registry = LoadWineRegistry(prefix + "/system.reg");
  if (registry == nullptr) return {};
  constexpr std::string_view kSoftware = "SOFTWARE\\";
  const WineRegValue* value = nullptr;
  if (SameIgnoringAsciiCase(std::string_view(sub_key).substr(0, kSoftware.size()), kSoftware)) {
    value = registry->Find("Software\\Wow6432Node\\" + sub_key.substr(kSoftware.size()),
                           kGamePathValue);
  }
  if (value == nullptr) value = registry->Find(sub_key, kGamePathValue);
  return value == nullptr ? std::string() : AnsiRegString(*value);
#endif
}

}  // namespace

void SetGameLocation(GameLocation location) { g_location = std::move(location); }
const GameLocation& ChosenGameLocation() { return g_location; }

FoundGame FindGame(const GameLocation& location) {
  if (!location.prefix.empty()) SetWinePrefix(location.prefix);
  if (!location.game_folder.empty()) {
    // Without a prefix the folder's path goes through the host's root, Z:.
    if (location.prefix.empty()) SetWinePrefix({});
    return GameInFolder(location.game_folder);
  }
  const auto read = [&](const char* key) {
    return location.prefix.empty() ? ReadRegString(RegRoot::kLocalMachine, key, kGamePathValue)
                                   : ReadPrefixValue(location.prefix, key);
  };
  FoundGame found;
  found.GamePath = read(kCcRegKey);
  if (found.GamePath.empty() || !PathListed(found.GamePath)) {
    found.GamePath = read(kBaseRegKey);
  } else {
    found.CCPresent = true;
  }
  return found;
}

StartUp OpenGameSession(const GameLocation& location, GameSession& session) {
  const FoundGame found = FindGame(location);
  session.GamePath = found.GamePath;
  session.CCPresent = found.CCPresent;
  session.DataPath = session.GamePath + "data\\";
  if (session.GamePath.empty() || !PathListed(session.GamePath)) {
    TraceLog("Couldn't find game path");
    return {StartOutcome::kGameNotFound, kNoGame};
  }
  session.GameFiles = MakeGameFiles(session.GamePath, session.DataPath);
  for (int i = 0; i <= 7; ++i) {
    if (!PathListed(session.GameFiles[static_cast<size_t>(i)])) {
      TraceLog("Couldn't find DRS");
      return {StartOutcome::kBaseFilesMissing, kNoBaseFiles};
    }
  }
  if (session.CCPresent) {
    for (int i = kCcOffset; i <= kCcOffset + 7; ++i) {
      if (!PathListed(session.GameFiles[static_cast<size_t>(i)])) {
        TraceLog("Couldn't find DRS");
        return {StartOutcome::kCcFilesMissing, kNoCcFiles};
      }
    }
  }
  session.ModLog.LogPath = session.DataPath + "mods.log";
  FirstMessage shown;
  if (ReadModLog(session.ModLog, session.GameFiles, shown)) {
    return {StartOutcome::kLogUnusable, shown.text};
  }
  return {};
}

}  // namespace tarnwick
