// The window program of the Windows build: started without arguments, or with the path of a
// package that then opens as if chosen with "Open mod" (what a double-click on a .mpi file does).
#include "winapp/win32.h"
// The common controls and the shell want <windows.h> before them.
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "platform/registry_settings_win32.h"
#include "platform/trace.h"
#include "platform/wide_text_win32.h"
#include "winapp/installer_window.h"
#include "winapp/win_services.h"

namespace {

// A GUI program has no console; the trace goes to the debugger (or to Wine's debug channel).
void TraceToDebugger(std::string_view text) {
  ::OutputDebugStringW(tarnwick::WideFromUtf8(std::string(text) + "\n").c_str());
}

// The full path of the first argument, or "" without one.
std::string PackageArgument() {
  int count = 0;
  LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::string package;
  if (arguments != nullptr && count >= 2) {
    wchar_t full[MAX_PATH * 4] = {};
    const DWORD length = ::GetFullPathNameW(arguments[1], MAX_PATH * 4, full, nullptr);
    package = tarnwick::Utf8FromWide(length > 0 && length < MAX_PATH * 4 ? std::wstring(full)
                                                                         : arguments[1]);
  }
  if (arguments != nullptr) ::LocalFree(arguments);
  return package;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  if (::GetEnvironmentVariableW(L"TARNWICK_TRACE", nullptr, 0) != 0) {
    tarnwick::SetTraceSink(&TraceToDebugger);
  }
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);

  tarnwick::winapp::WinMessages messages;
  tarnwick::winapp::WinFileDialog file_dialog(instance);
  tarnwick::RegistrySettings settings;
  tarnwick::winapp::WinProgress progress(instance);
  tarnwick::winapp::InstallerWindow form(instance, messages, file_dialog, settings, progress);
  messages.SetOwner(form.Window());
  file_dialog.SetOwner(form.Window());
  progress.SetOwner(form.Window());

  if (form.Form_Load()) return 1;
  form.Show();
  const std::string package = PackageArgument();
  if (!package.empty()) form.OpenPackage(package);

  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between the buttons of whichever window has them.
    const HWND top = ::GetAncestor(message.hwnd, GA_ROOT);
    if (top != nullptr && ::IsDialogMessageW(top, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
