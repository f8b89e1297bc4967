#include "app_scene.h"

#include <cstdlib>

#include "writers/game_folder.h"

namespace tarnwick::testing {

std::string Scene::GamePath() { return fixtures::kGameFolderPath; }

fixtures::WinePrefixOptions Scene::BothKeys() {
  fixtures::WinePrefixOptions options;
  options.cc_game_path = GamePath();
  options.base_game_path = GamePath();
  return options;
}

Scene::Scene(const fixtures::WinePrefixOptions& registry) : prefix(dir / "prefix") {
  // HOME too, so that neither ~/.wine nor a Steam library of the machine can answer.
  const std::string home = dir / "home";
  fixtures::MakeFolders(home);
  ::setenv("HOME", home.c_str(), 1);
  ::setenv("WINEPREFIX", prefix.c_str(), 1);
  const std::error_code error = fixtures::WriteWinePrefix(prefix, registry);
  if (error) std::abort();
}

std::string Scene::OnDriveC(const std::string& relative) const {
  std::string host = prefix + "/drive_c/" + relative;
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

std::string Scene::GameHost() const {
  return OnDriveC("Program Files\\LucasArts\\Star Wars Galactic Battlegrounds");
}

std::string Scene::DataHost() const { return GameHost() + "/" + fixtures::kDataFolderOnDisk; }

bool Scene::InstallGame(bool clone_campaigns) {
  fixtures::GameFolderOptions options;
  options.clone_campaigns = clone_campaigns;
  return !fixtures::WriteGameFolder(GameHost(), options);
}

bool Scene::WriteFile(const std::string& host_path, const std::string& bytes) const {
  return !fixtures::WriteHostFile(host_path, bytes);
}

std::unique_ptr<InstallerForm> Scene::MakeForm() {
  return std::make_unique<InstallerForm>(messages, file_dialog, settings, nullptr);
}

QByteArray Scene::Shown() const {
  QByteArray text;
  for (const auto& box : messages.boxes) text += QByteArray::fromStdString(box.text + " | ");
  return text;
}

}  // namespace tarnwick::testing
