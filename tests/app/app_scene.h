#pragma once

#include <QSettings>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/installer_form.h"
#include "app/qt_services.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "platform/file_dialog.h"
#include "writers/game_folder.h"
#include "writers/wine_prefix_writer.h"

namespace tarnwick::testing {

// Answers the open-file dialog from a script and keeps every request.
struct ScriptedFileDialog : FileDialog {
  bool GetOpenFileName(const OpenFileRequest& request, std::string* chosen) override {
    requests.push_back(request);
    if (answer) *chosen = *answer;
    return answer.has_value();
  }
  std::optional<std::string> answer;
  std::vector<OpenFileRequest> requests;
};

// A fresh Wine prefix in a temporary folder, made the one the program looks in (HOME too, so
// that neither ~/.wine nor a Steam library of the machine can answer), and no remembered folder.
struct Scene {
  static constexpr const char* kGamePath = fixtures::kGameFolderPath;

  static fixtures::WinePrefixOptions BothKeys() {
    fixtures::WinePrefixOptions options;
    options.cc_game_path = options.base_game_path = kGamePath;
    return options;
  }

  explicit Scene(const fixtures::WinePrefixOptions& registry) : prefix(dir / "prefix") {
    fixtures::MakeFolders(dir / "home");
    ::setenv("HOME", (dir / "home").c_str(), 1);
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    if (fixtures::WriteWinePrefix(prefix, registry)) std::abort();
    QSettings(QStringLiteral("Tarnwick"), QStringLiteral("Tarnwick")).clear();
  }

  // Host path of a C: drive path ("Mods\\x.mpi").
  std::string OnDriveC(std::string relative) const {
    for (char& c : relative) c = c == '\\' ? '/' : c;
    return prefix + "/drive_c/" + relative;
  }
  std::string GameHost() const {
    return OnDriveC("Program Files/LucasArts/Star Wars Galactic Battlegrounds");
  }
  std::string DataHost() const { return GameHost() + "/" + fixtures::kDataFolderOnDisk; }
  bool InstallGame(bool clone_campaigns) const {
    return !fixtures::WriteGameFolder(GameHost(), {.clone_campaigns = clone_campaigns});
  }
  std::unique_ptr<InstallerForm> MakeForm() {
    return std::make_unique<InstallerForm>(messages, file_dialog, settings, nullptr);
  }
  std::string Remembered() { return settings.Get("Open", "Last directory", "<unset>"); }

  fixtures::TempDir dir;
  std::string prefix;
  fixtures::RecordingMessages messages;
  ScriptedFileDialog file_dialog;
  QtSettings settings;
};

}  // namespace tarnwick::testing
