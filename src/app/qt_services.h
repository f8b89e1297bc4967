#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/file_dialog.h"
#include "platform/messages.h"
#include "platform/progress.h"
#include "platform/settings.h"

class QProgressDialog;

namespace tarnwick {

// Game text is Windows-1252; Qt wants Unicode.
QString FromGameText(const std::string& text);

class QtMessages : public Messages {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  void Error(const std::string& text) override;
  void Information(const std::string& title, const std::string& text) override;
  void Plain(const std::string& title, const std::string& text) override;
  bool Confirm(const std::string& title, const std::string& text) override;

 private:
  QPointer<QWidget> owner_;
};

class QtFileDialog : public FileDialog {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  bool GetOpenFileName(const OpenFileRequest& request, std::string* chosen) override;

 private:
  QPointer<QWidget> owner_;
};

// QSettings of organisation and application "Tarnwick"; values are kept as Unicode.
class QtSettings : public Settings {
 public:
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& default_value) override;
  void Set(const std::string& section, const std::string& key, const std::string& value) override;
};

// Drops every input event while installed as the application's event filter.
class InputBlocker : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

// A modal dialog that appears only when an install takes a while, and keeps the windows painted
// without letting the user start another command meanwhile: from Begin to End no window takes
// input.
class QtProgress : public Progress {
 public:
  QtProgress();
  ~QtProgress() override;
  void SetOwner(QWidget* owner) { owner_ = owner; }
  void Begin(int resource_count) override;
  void Update(int resource, int64_t bytes_copied) override;
  void End() override;

 private:
  void StopBlocking();

  InputBlocker blocker_;
  bool blocking_ = false;
  QPointer<QWidget> owner_;
  std::unique_ptr<QProgressDialog> dialog_;
  QElapsedTimer since_begin_;
  QElapsedTimer since_update_;
  int resource_count_ = 0;
};

}  // namespace tarnwick
