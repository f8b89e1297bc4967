#include "cli/console.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tarnwick::cli {
namespace {

bool IsTerminal(std::FILE* file) {
#ifdef _WIN32
  // _isatty is true for any character device, the null device among them (a script's `< NUL`);
  // only a console answers GetConsoleMode.
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
#else
  return ::isatty(::fileno(file)) != 0;
#endif
}

void WriteLine(std::FILE* file, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), file);
  std::fputc('\n', file);
  std::fflush(file);
}

}  // namespace

Console::Console(std::FILE* in, std::FILE* out, std::FILE* err)
    : in_(in),
      out_(out),
      err_(err),
      in_terminal_(IsTerminal(in)),
      out_terminal_(IsTerminal(out)),
      err_terminal_(IsTerminal(err)) {}

void Console::ClearStatusLocked() {
  if (!status_shown_) return;
  status_shown_ = false;
  std::fputs("\r\x1b[K", err_);
  std::fflush(err_);
}

void Console::PrintLine(std::string_view text) {
  std::lock_guard lock(mutex_);
  ClearStatusLocked();
  WriteLine(out_, text);
}

void Console::SayLine(std::string_view text) {
  std::lock_guard lock(mutex_);
  ClearStatusLocked();
  WriteLine(err_, text);
}

void Console::SayRaw(std::string_view text) {
  std::lock_guard lock(mutex_);
  ClearStatusLocked();
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fflush(err_);
}

void Console::ShowStatus(std::string_view line) {
  std::lock_guard lock(mutex_);
  status_shown_ = true;
  std::fputc('\r', err_);
  std::fwrite(line.data(), 1, line.size(), err_);
  std::fputs("\x1b[K", err_);
  std::fflush(err_);
}

void Console::ClearStatus() {
  std::lock_guard lock(mutex_);
  ClearStatusLocked();
}

Console::Answer Console::Ask(std::string_view question) {
  if (assume_yes_) return Answer::kYes;
  if (!in_terminal_) {
    SayLine(question);
    SayLine(kNotAsked);
    return Answer::kRefused;
  }
  SayRaw(question);
  SayRaw(" [y/N] ");
  std::string answer;
  for (int c = std::fgetc(in_); c != EOF && c != '\n'; c = std::fgetc(in_)) {
    answer += static_cast<char>(c);
  }
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" ? Answer::kYes
                                                                              : Answer::kNo;
}

std::string Console::AskLine(std::string_view question) {
  if (!in_terminal_) return {};
  SayRaw(question);
  std::string answer;
  for (int c = std::fgetc(in_); c != EOF && c != '\n'; c = std::fgetc(in_)) {
    answer += static_cast<char>(c);
  }
  return answer;
}

}  // namespace tarnwick::cli
