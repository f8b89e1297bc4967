#include "cli/console_messages.h"

#include "platform/text_codec.h"

namespace tarnwick::cli {

void ConsoleMessages::Show(const char* kind, const std::string& title, const std::string& text) {
  shown_.push_back({kind, Cp1252ToUtf8(title), Cp1252ToUtf8(text)});
}

void ConsoleMessages::Error(const std::string& text) {
  Show("error", "Error", text);
  error_shown_ = true;
  console_.SayLine("Error: " + shown_.back().text);
}

void ConsoleMessages::Information(const std::string& title, const std::string& text) {
  Show("information", title, text);
  console_.SayLine(shown_.back().text);
}

void ConsoleMessages::Plain(const std::string& title, const std::string& text) {
  Show("plain", title, text);
  console_.SayLine(shown_.back().text);
}

bool ConsoleMessages::Confirm(const std::string& title, const std::string& text) {
  Show("confirm", title, text);
  switch (console_.Ask(shown_.back().title + ": " + shown_.back().text)) {
    case Console::Answer::kYes:
      declined_ = refused_ = false;
      return true;
    case Console::Answer::kNo:
      declined_ = true;
      return false;
    case Console::Answer::kRefused:
      declined_ = refused_ = true;
      return false;
  }
  return false;
}

int ConsoleMessages::Choose(const std::string& title, const std::string& text,
                            const std::vector<std::string>& choices, int default_choice) {
  Show("choose", title, text);
  console_.SayLine(shown_.back().text);
  if (!chosen_in_advance_.empty()) {
    for (size_t i = 0; i < choices.size(); ++i) {
      if (choices[i] == chosen_in_advance_) {
        declined_ = refused_ = false;
        return static_cast<int>(i);
      }
    }
    console_.SayLine("\"" + chosen_in_advance_ + "\" is not offered here; nothing was changed.");
    declined_ = refused_ = true;
    return default_choice;
  }
  if (!console_.InIsTerminal()) {
    console_.SayLine(kNotChosen);
    declined_ = refused_ = true;
    return default_choice;
  }
  std::string list;
  for (size_t i = 0; i < choices.size(); ++i) {
    list += std::to_string(i + 1) + ") " + Cp1252ToUtf8(choices[i]) + "  ";
  }
  const std::string answer =
      console_.AskLine(list + "[" + std::to_string(default_choice + 1) + "] ");
  int chosen = default_choice;
  for (size_t i = 0; i < choices.size(); ++i) {
    if (answer == std::to_string(i + 1)) chosen = static_cast<int>(i);
  }
  declined_ = chosen == default_choice;
  refused_ = false;
  return chosen;
}

}  // namespace tarnwick::cli
