#pragma once

#include <string>
#include <vector>

#include "cli/console.h"
#include "platform/messages.h"

namespace tarnwick::cli {

// The window's boxes on the console: every text on standard error, errors after "Error: ", and
// questions through the console's rule (never asked without a terminal or --yes).
class ConsoleMessages : public Messages {
 public:
  explicit ConsoleMessages(Console& console) : console_(console) {}

  void Error(const std::string& text) override;
  void Information(const std::string& title, const std::string& text) override;
  void Plain(const std::string& title, const std::string& text) override;
  bool Confirm(const std::string& title, const std::string& text) override;

  // Every box shown, in order, as UTF-8 ("error", "information", "plain", "confirm").
  struct Shown {
    std::string kind;
    std::string title;
    std::string text;
  };
  const std::vector<Shown>& shown() const { return shown_; }
  bool error_shown() const { return error_shown_; }
  // The last question was answered no, or could not be asked.
  bool declined() const { return declined_; }
  bool refused() const { return refused_; }

 private:
  void Show(const char* kind, const std::string& title, const std::string& text);

  Console& console_;
  std::vector<Shown> shown_;
  bool error_shown_ = false;
  bool declined_ = false;
  bool refused_ = false;
};

}  // namespace tarnwick::cli
