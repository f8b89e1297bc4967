#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace tarnwick::cli {

// The command line's two streams and its one question. Results go to standard output, messages to
// standard error; text handed in is UTF-8.
class Console {
 public:
  Console(std::FILE* in, std::FILE* out, std::FILE* err);

  // Every write is whole and first erases a status line that stands on the terminal, so that a
  // message never lands behind the progress bar. Safe from the progress bar's ticker thread.
  void PrintLine(std::string_view text);  // a result, on standard output
  void SayLine(std::string_view text);    // a message, on standard error
  // Text on standard error without a line end (usage texts, the question).
  void SayRaw(std::string_view text);
  // The line that stands at the bottom of the terminal until something else is written: drawn
  // from the start of the line on standard error, without a line end.
  void ShowStatus(std::string_view line);
  void ClearStatus();

  bool InIsTerminal() const { return in_terminal_; }
  bool OutIsTerminal() const { return out_terminal_; }
  bool ErrIsTerminal() const { return err_terminal_; }

  // --yes: every question is answered yes without being asked.
  void SetAssumeYes(bool yes) { assume_yes_ = yes; }

  enum class Answer { kYes, kNo, kRefused };
  // Asks on the terminal. Without --yes and without a terminal to answer on, nothing is asked:
  // the question and the refusal are shown, and the answer is kRefused.
  [[nodiscard]] Answer Ask(std::string_view question);

 private:
  std::FILE* in_;
  std::FILE* out_;
  std::FILE* err_;
  bool in_terminal_;
  bool out_terminal_;
  bool err_terminal_;
  bool assume_yes_ = false;
  std::mutex mutex_;
  bool status_shown_ = false;

  void ClearStatusLocked();
};

// The text shown when a question cannot be asked.
inline constexpr char kNotAsked[] =
    "Nothing was changed: there is no terminal to ask on. Add --yes to go ahead without the "
    "question.";

}  // namespace tarnwick::cli
