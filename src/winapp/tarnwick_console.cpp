// tarnwick.exe, the console program of the Windows build: the commands of the command line, run
// on the console it was started from. Without a command it hands over to the window program
// beside it, so that "tarnwick" alone or with a package opens the window as everywhere else; the
// window program itself is a GUI program, so a double-click never flashes a console.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/console.h"
#include "platform/trace.h"
#include "platform/wide_text_win32.h"
#include "winapp/win32.h"

namespace {

void TraceToStderr(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

// The window program beside this one, with the package (if any) as its argument.
int OpenWindow(const std::string& package, tarnwick::cli::Console& console) {
  std::wstring folder(MAX_PATH * 4, L'\0');
  folder.resize(::GetModuleFileNameW(nullptr, folder.data(), static_cast<DWORD>(folder.size())));
  folder.resize(folder.find_last_of(L'\\') + 1);
  const std::wstring program = folder + L"tarnwick-win.exe";
  std::wstring line = L"\"" + program + L"\"";
  if (!package.empty()) line += L" \"" + tarnwick::WideFromUtf8(package) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    console.SayLine(
        "tarnwick: the window program tarnwick-win.exe could not be started; it "
        "belongs in the same folder as tarnwick.exe.");
    return 1;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return 0;
}

}  // namespace

// The arguments arrive in UTF-16 and go on in UTF-8, as the command line's code keeps them; the
// console is switched to UTF-8 for the same reason.
int wmain(int argc, wchar_t* wide_argv[]) {
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
  if (::GetEnvironmentVariableW(L"TARNWICK_TRACE", nullptr, 0) != 0) {
    tarnwick::SetTraceSink(&TraceToStderr);
  }
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(tarnwick::Utf8FromWide(wide_argv[i]));
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  tarnwick::cli::Console console(stdin, stdout, stderr);
  int exit_code = 0;
  const auto line = tarnwick::cli::ParseCommandLine(argc, argv.data(), console, &exit_code);
  if (!line) return exit_code;
  if (line->command.empty()) return OpenWindow(line->package, console);
  return tarnwick::cli::RunCommand(*line, console);
}
