#pragma once

#include <string>

#include "platform/file_dialog.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "winapp/win32.h"

namespace tarnwick::winapp {

// Game text (Windows-1252) for the wide calls.
std::wstring FromGameText(const std::string& text);

// MessageBoxW, owned by the window while it is on the screen (before that, by nobody, so that a
// start-up box still shows in the task bar).
class WinMessages : public Messages {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  void Error(const std::string& text) override;
  void Information(const std::string& title, const std::string& text) override;
  void Plain(const std::string& title, const std::string& text) override;
  bool Confirm(const std::string& title, const std::string& text) override;

 private:
  int Show(const std::string& title, const std::string& text, UINT type);
  HWND owner_ = nullptr;
};

// GetOpenFileNameW with the request as given: a buffer of max_path + 1 zero characters, the one
// filter, the title, the initial folder and the must-exist flags.
class WinFileDialog : public FileDialog {
 public:
  explicit WinFileDialog(HINSTANCE instance) : instance_(instance) {}
  void SetOwner(HWND owner) { owner_ = owner; }
  bool GetOpenFileName(const OpenFileRequest& request, std::string* chosen) override;

 private:
  HINSTANCE instance_;
  HWND owner_ = nullptr;
};

// A small modal window that appears once an install has taken half a second, takes no input and
// keeps the program's windows painted while the install runs on the one thread.
class WinProgress : public Progress {
 public:
  explicit WinProgress(HINSTANCE instance);
  ~WinProgress() override;
  void SetOwner(HWND owner) { owner_ = owner; }
  void Begin(int resource_count) override;
  void Update(int resource, int64_t bytes_copied) override;
  void End() override;

 private:
  void Open();
  HINSTANCE instance_;
  HWND owner_ = nullptr;
  HWND window_ = nullptr;
  HWND text_ = nullptr;
  HWND bar_ = nullptr;
  HFONT font_ = nullptr;
  ULONGLONG began_ = 0;
  ULONGLONG updated_ = 0;
  int resource_count_ = 0;
  bool running_ = false;
};

}  // namespace tarnwick::winapp
