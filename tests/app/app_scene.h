#pragma once

#include <QByteArray>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/installer_form.h"
#include "fixtures/files.h"
#include "fixtures/recording_messages.h"
#include "writers/wine_prefix_writer.h"
#include "platform/file_dialog.h"
#include "platform/settings.h"

namespace tarnwick::testing {

// Answers the open-file dialog from a script and keeps every request.
class ScriptedFileDialog : public FileDialog {
 public:
  bool GetOpenFileName(const OpenFileRequest& request, std::string* chosen) override {
    requests.push_back(request);
    if (!answer) return false;
    *chosen = *answer;
    return true;
  }
  std::optional<std::string> answer;
  std::vector<OpenFileRequest> requests;
};

class MemorySettings : public Settings {
 public:
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& default_value) override {
    const auto found = values.find({section, key});
    return found == values.end() ? default_value : found->second;
  }
  void Set(const std::string& section, const std::string& key, const std::string& value) override {
    values[{section, key}] = value;
  }
  std::map<std::pair<std::string, std::string>, std::string> values;
};

// A fresh Wine prefix in a temporary folder, made the one the program looks in, optionally with
// the game installed where its registry keys say.
class Scene {
 public:
  // The registry's "Game Path" of the game as the game folder fixture places it.
  static std::string GamePath();

  explicit Scene(const fixtures::WinePrefixOptions& registry);
  // Both keys naming the installed game, with or without Clone Campaigns files.
  static fixtures::WinePrefixOptions BothKeys();

  bool InstallGame(bool clone_campaigns);
  // Host path of a C: drive path ("Mods\\x.mpi").
  std::string OnDriveC(const std::string& relative) const;
  std::string GameHost() const;
  std::string DataHost() const;
  bool WriteFile(const std::string& host_path, const std::string& bytes) const;

  std::unique_ptr<InstallerForm> MakeForm();
  // The boxes shown so far, for failure reports.
  QByteArray Shown() const;

  fixtures::TempDir dir;
  std::string prefix;
  fixtures::RecordingMessages messages;
  ScriptedFileDialog file_dialog;
  MemorySettings settings;
};

}  // namespace tarnwick::testing
