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
  // On a terminal the choices are numbered and a number is asked for (Enter: the default). A
  // choice given in advance (--start-over, --carry-on) is taken without asking when offered;
  // without a terminal and without one, the default.
  int Choose(const std::string& title, const std::string& text,
             const std::vector<std::string>& choices, int default_choice) override;
  void SetChosenInAdvance(const std::string& choice) { chosen_in_advance_ = choice; }

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
  std::string chosen_in_advance_;
};

}  // namespace tarnwick::cli
