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

}  // namespace tarnwick::cli
