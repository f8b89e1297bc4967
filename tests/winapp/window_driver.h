#pragma once

// Drives the window program from outside, as a player's clicks and a screen reader would: finds
// its windows by class and caption, reads their texts and states, and presses buttons and menu
// items by posting the messages a click posts.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "fixtures/files.h"

namespace tarnwick::winapp_tests {

// A program started with `arguments` (and, when given, the standard handles of `streams`, with no
// console window); ended at the latest when this goes.
class Program {
 public:
  Program(const std::wstring& executable, const std::wstring& arguments,
          STARTUPINFOW* streams = nullptr);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  bool started() const { return process_.hProcess != nullptr; }
  DWORD id() const { return process_.dwProcessId; }
  // The exit code, or STILL_ACTIVE when it has not ended within the time.
  DWORD WaitForExit(DWORD milliseconds = 10000);

 private:
  PROCESS_INFORMATION process_{};
};

// A visible top-level window of the process with this class (and caption, when given), waited
// for up to `milliseconds`; null when none came.
HWND WaitForWindow(DWORD process, const wchar_t* window_class, const wchar_t* caption = nullptr,
                   DWORD milliseconds = 10000);

// Whether any visible top-level window of the process has this class.
bool HasVisibleWindow(DWORD process, const wchar_t* window_class);

// A message box as the player sees it.
struct Box {
  HWND window = nullptr;
  std::wstring title;
  std::wstring text;
  bool icon = false;
  std::vector<std::wstring> buttons;
};
// The next message box of the process (a dialog without a file name field), or an empty Box.
Box WaitForBox(DWORD process, DWORD milliseconds = 10000);
// Presses the box's button `id` (IDOK, IDCANCEL) and waits until the box is gone.
void Answer(const Box& box, int id);

std::wstring Text(HWND window);
// Posted, so that a handler that shows a box does not hold the test up.
void Click(HWND button);
void ChooseMenuItem(HWND window, int id);

// Waits up to `milliseconds` for the control's text to become `text`; its text at the end.
std::wstring WaitForText(HWND control, const std::wstring& text, DWORD milliseconds = 10000);
// Waits up to five seconds for the window to take input again (a view over it closed); whether
// it does.
bool WaitUntilEnabled(HWND window);

// The control's rectangle in its parent's inside, in pixels.
RECT PlacedAt(HWND control);

// A list view of another process: its rows' texts, column by column, and a row selected as a
// click would (the messages carry their data through memory lent in that process).
std::vector<std::vector<std::wstring>> ListRows(HWND list);
bool SelectRow(HWND list, int row);
// Clicks the heading of a list view's column.
void ClickColumnHeading(HWND list, int column);

// tarnwick.exe run as a script runs it: standard output and error go to files in `dir` (no pipe
// to fill up); standard input is the null device, as for a script without a terminal.
struct Ran {
  DWORD status = STILL_ACTIVE;
  std::string out;
  std::string err;
};
Ran RunConsole(const std::wstring& console, const fixtures::TempDir& dir,
               const std::vector<std::string>& args);

// The game's "Game Path" keys where its 32-bit installer puts them, naming `game` (a folder
// ending in a backslash): the expansion's when `cc`, the base game's when `base`; the others gone.
bool RegisterGame(const std::string& game, bool cc = true, bool base = true);
// The sample mods written into `folder`.
bool WriteSampleMods(const std::string& folder);

// Windows paths for the wide calls: a host path of the build ("/...") reaches Wine through Z:.
std::wstring WindowsPath(const std::string& path);

}  // namespace tarnwick::winapp_tests
