#pragma once

#include <string>
#include <vector>

namespace tarnwick {

// The program's modal message boxes. Texts are single-byte game text (Windows-1252), as the
// core keeps it; the window side decodes them for display.
class Messages {
 public:
  virtual ~Messages() = default;
  // Title "Error", stop icon, OK.
  virtual void Error(const std::string& text) = 0;
  // Information icon, OK.
  virtual void Information(const std::string& title, const std::string& text) = 0;
  // No icon, OK.
  virtual void Plain(const std::string& title, const std::string& text) = 0;
  // No icon, OK and Cancel; true on OK.
  virtual bool Confirm(const std::string& title, const std::string& text) = 0;
  // No icon, one button per choice; the index of the one chosen. `default_choice` is the
  // button Enter presses and what closing the box gives. A face that cannot ask gives it too.
  virtual int Choose(const std::string& title, const std::string& text,
                     const std::vector<std::string>& choices, int default_choice) {
    (void)title;
    (void)text;
    (void)choices;
    return default_choice;
  }
};

// Shows nothing and declines every question: for reading again what an operation has already
// reported on, and for reads whose failure is a finding rather than a message.
class QuietMessages : public Messages {
 public:
  void Error(const std::string&) override {}
  void Information(const std::string&, const std::string&) override {}
  void Plain(const std::string&, const std::string&) override {}
  bool Confirm(const std::string&, const std::string&) override { return false; }
};

}  // namespace tarnwick
