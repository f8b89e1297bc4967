#include "winapp/window_driver.h"
// The list view's messages want <windows.h> before them.
#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "fixtures/files.h"
#include "writers/game_folder.h"
#include "writers/sandbox.h"

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

// Memory in the process that owns a window, for the messages that point at their data.
class LentMemory {
 public:
  LentMemory(HWND window, size_t size) : size_(size) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    process_ =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, owner);
    if (process_ != nullptr) {
      at_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  ~LentMemory() {
    if (at_ != nullptr) ::VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    if (process_ != nullptr) ::CloseHandle(process_);
  }
  LentMemory(const LentMemory&) = delete;
  LentMemory& operator=(const LentMemory&) = delete;
  bool ok() const { return at_ != nullptr; }
  char* at() const { return static_cast<char*>(at_); }
  bool Write(size_t offset, const void* bytes, size_t size) const {
    return offset + size <= size_ &&
           ::WriteProcessMemory(process_, at() + offset, bytes, size, nullptr) != 0;
  }
  bool Read(size_t offset, void* bytes, size_t size) const {
    return offset + size <= size_ &&
           ::ReadProcessMemory(process_, at() + offset, bytes, size, nullptr) != 0;
  }

 private:
  size_t size_;
  HANDLE process_ = nullptr;
  void* at_ = nullptr;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM parameter) {
  reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(child);
  return TRUE;
}

}  // namespace

Program::Program(const std::wstring& executable, const std::wstring& arguments,
                 STARTUPINFOW* streams) {
  std::wstring line = L"\"" + executable + L"\"";
  if (!arguments.empty()) line += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (!::CreateProcessW(executable.c_str(), line.data(), nullptr, nullptr, streams != nullptr,
                        streams != nullptr ? CREATE_NO_WINDOW : 0, nullptr, nullptr,
                        streams != nullptr ? streams : &startup, &process_)) {
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
  while (Text(control) != text && ::GetTickCount64() < until) ::Sleep(kPollMs);
  return Text(control);
}

bool WaitUntilEnabled(HWND window) {
  for (int i = 0; i < 100 && !::IsWindowEnabled(window); ++i) ::Sleep(kPollMs);
  return ::IsWindowEnabled(window) != 0;
}

RECT PlacedAt(HWND control) {
  RECT rect{};
  ::GetWindowRect(control, &rect);
  ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::vector<std::vector<std::wstring>> ListRows(HWND list) {
  constexpr int kTextLength = 512;
  const LentMemory memory(list, sizeof(LVITEMW) + kTextLength * sizeof(wchar_t));
  std::vector<std::vector<std::wstring>> rows;
  if (!memory.ok()) return rows;
  const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
  const auto columns = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  const auto count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::vector<std::wstring> texts;
    for (int column = 0; column < columns; ++column) {
      LVITEMW item{};
      item.iSubItem = column;
      item.cchTextMax = kTextLength;
      item.pszText = reinterpret_cast<wchar_t*>(memory.at() + sizeof(LVITEMW));
      wchar_t text[kTextLength] = {};
      const LRESULT length =
          memory.Write(0, &item, sizeof(item))
              ? ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(memory.at()))
              : 0;
      if (length > 0) memory.Read(sizeof(LVITEMW), text, length * sizeof(wchar_t));
      texts.emplace_back(text, std::min<size_t>(length, kTextLength));
    }
    rows.push_back(std::move(texts));
  }
  return rows;
}

bool SelectRow(HWND list, int row) {
  const LentMemory memory(list, sizeof(LVITEMW));
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  return memory.ok() && memory.Write(0, &item, sizeof(item)) &&
         ::SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(memory.at())) != 0;
}

void ClickColumnHeading(HWND list, int column) {
  const HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
  int x = 0;
  for (int i = 0; i < column; ++i)
    x += static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
  x += static_cast<int>(::SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)) / 2;
  RECT inside{};
  ::GetClientRect(header, &inside);
  const LPARAM at = MAKELPARAM(x, inside.bottom / 2);
  ::PostMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  ::PostMessageW(header, WM_LBUTTONUP, 0, at);
}

Ran RunConsole(const std::wstring& console, const fixtures::TempDir& dir,
               const std::vector<std::string>& args) {
  std::wstring line;
  for (const std::string& arg : args) {
    line += (line.empty() ? L"\"" : L" \"") + std::wstring(arg.begin(), arg.end()) + L"\"";
  }
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const std::string out_path = dir / "out.txt";
  const std::string err_path = dir / "err.txt";
  const auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
    return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = open("NUL", GENERIC_READ, OPEN_EXISTING);
  startup.hStdOutput = open(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  startup.hStdError = open(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  Ran ran;
  ran.status = Program(console, line, &startup).WaitForExit(60000);
  for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    ::CloseHandle(handle);
  }
  // Line ends as a script reads them once the C runtime's text mode is undone.
  const auto text = [](std::string bytes) {
    std::string plain;
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) plain += bytes[i];
    }
    return plain;
  };
  ran.out = text(fixtures::ReadAll(out_path));
  ran.err = text(fixtures::ReadAll(err_path));
  return ran;
}

bool RegisterGame(const std::string& game, bool cc, bool base) {
  const std::wstring path(game.begin(), game.end());
  const auto value = reinterpret_cast<const BYTE*>(path.c_str());
  const auto size = static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t));
  bool done = true;
  for (const auto& [key, wanted] :
       {std::pair{L"Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic "
                  L"Battlegrounds: Clone Campaigns\\1.0",
                  cc},
        std::pair{L"Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic "
                  L"Battlegrounds\\1.0",
                  base}}) {
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
    HKEY handle = nullptr;
    done =
        done &&
        (!wanted ||
         (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                            nullptr, &handle, nullptr) == ERROR_SUCCESS &&
          ::RegSetValueExW(handle, L"Game Path", 0, REG_SZ, value, size) == ERROR_SUCCESS));
    if (handle != nullptr) ::RegCloseKey(handle);
  }
  return done;
}

bool WriteSampleMods(const std::string& folder) {
  bool done = true;
  for (const fixtures::SampleMod& mod : fixtures::SampleMods()) {
    done = done && !fixtures::WriteHostFile(folder + "\\" + mod.file_name, BuildMpi(mod.package));
  }
  return done;
}

std::wstring WindowsPath(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

}  // namespace tarnwick::winapp_tests
