#include "winapp/window_driver.h"

#include <algorithm>

namespace tarnwick::winapp_tests {
namespace {

constexpr DWORD kPollMs = 50;

struct Search {
  DWORD process;
  const wchar_t* window_class;
  const wchar_t* caption;
  HWND found = nullptr;
};

std::wstring ClassOf(HWND window) {
  wchar_t name[128] = {};
  ::GetClassNameW(window, name, 128);
  return name;
}

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != search->process || !::IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != search->window_class) return TRUE;
  if (search->caption != nullptr && Text(window) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindVisible(DWORD process, const wchar_t* window_class, const wchar_t* caption) {
  Search search{process, window_class, caption};
  ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter) {
  reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(child);
  return TRUE;
}

}  // namespace

Program::Program(const std::wstring& executable, const std::wstring& arguments) {
  std::wstring line = L"\"" + executable + L"\"";
  if (!arguments.empty()) line += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!::CreateProcessW(executable.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process_)) {
    process_ = {};
  }
}

Program::~Program() {
  if (!started()) return;
  if (::WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.hProcess, 99);
    ::WaitForSingleObject(process_.hProcess, 5000);
  }
  ::CloseHandle(process_.hThread);
  ::CloseHandle(process_.hProcess);
}

DWORD Program::WaitForExit(DWORD milliseconds) {
  if (!started() || ::WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) {
    return STILL_ACTIVE;
  }
  DWORD code = STILL_ACTIVE;
  ::GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

HWND WaitForWindow(DWORD process, const wchar_t* window_class, const wchar_t* caption,
                   DWORD milliseconds) {
  const ULONGLONG until = ::GetTickCount64() + milliseconds;
  for (;;) {
    if (const HWND found = FindVisible(process, window_class, caption)) return found;
    if (::GetTickCount64() >= until) return nullptr;
    ::Sleep(kPollMs);
  }
}

bool HasVisibleWindow(DWORD process, const wchar_t* window_class) {
  return FindVisible(process, window_class, nullptr) != nullptr;
}

Box WaitForBox(DWORD process, DWORD milliseconds) {
  const ULONGLONG until = ::GetTickCount64() + milliseconds;
  for (;;) {
    // The file dialog is a dialog too; a message box is the one with nothing to type into.
    const HWND dialog = FindVisible(process, L"#32770", nullptr);
    if (dialog != nullptr) {
      std::vector<HWND> children;
      ::EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
      Box box{dialog, Text(dialog), {}, false, {}};
      bool editable = false;
      for (const HWND child : children) {
        const std::wstring kind = ClassOf(child);
        const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
        if (_wcsicmp(kind.c_str(), L"Edit") == 0 || _wcsicmp(kind.c_str(), L"ComboBox") == 0) {
          editable = true;
        } else if (_wcsicmp(kind.c_str(), L"Button") == 0) {
          box.buttons.push_back(Text(child));
        } else if (_wcsicmp(kind.c_str(), L"Static") == 0) {
          if ((style & SS_TYPEMASK) == SS_ICON) {
            box.icon = box.icon || ::SendMessageW(child, STM_GETICON, 0, 0) != 0;
          } else if (!Text(child).empty()) {
            box.text = Text(child);
          }
        }
      }
      if (!editable) return box;
    }
    if (::GetTickCount64() >= until) return {};
    ::Sleep(kPollMs);
  }
}

void Answer(const Box& box, int id) {
  if (box.window == nullptr) return;
  ::PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box.window, id)));
  const ULONGLONG until = ::GetTickCount64() + 10000;
  while (::IsWindow(box.window) && ::IsWindowVisible(box.window) && ::GetTickCount64() < until) {
    ::Sleep(kPollMs);
  }
}

std::wstring Text(HWND window) {
  DWORD_PTR length = 0;
  if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(std::min<size_t>(copied, length));
  return text;
}

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

void ChooseMenuItem(HWND window, int id) {
  ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

std::wstring WaitForText(HWND control, const std::wstring& text, DWORD milliseconds) {
  const ULONGLONG until = ::GetTickCount64() + milliseconds;
  std::wstring now = Text(control);
  while (now != text && ::GetTickCount64() < until) {
    ::Sleep(kPollMs);
    now = Text(control);
  }
  return now;
}

RECT PlacedAt(HWND control) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::wstring WindowsPath(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

}  // namespace tarnwick::winapp_tests
