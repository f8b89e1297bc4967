#include "winapp/win_services.h"

#include <commctrl.h>
#include <commdlg.h>
// The file dialog interface has a method of this name; the wide call is named in full below.
#undef GetOpenFileName

#include <vector>

#include "platform/text_codec.h"
#include "platform/wide_text_win32.h"
#include "winapp/window_names.h"

namespace tarnwick::winapp {
namespace {

// The dialog request of the size the system has always accepted, without the places bar fields.
constexpr DWORD kOpenFileFlags =
    OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_LONGNAMES;  // 0x281800
static_assert(kOpenFileFlags == 0x281800);

constexpr ULONGLONG kShowAfterMs = 500;
constexpr ULONGLONG kRepaintEveryMs = 50;

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // The install cannot stop half-way: the window has no close box, and Alt+F4 is refused too.
  if (message == WM_CLOSE) return 0;
  return ::DefWindowProcW(window, message, wparam, lparam);
}

// Drops what the player types or clicks meanwhile, so that nothing starts once the install ends,
// and lets paint and other messages through.
void PumpWithoutInput() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (::PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    if ((message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) ||
        (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST) ||
        (message.message >= WM_NCMOUSEMOVE && message.message <= WM_NCXBUTTONDBLCLK)) {
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

}  // namespace

std::wstring FromGameText(const std::string& text) { return WideFromUtf8(Cp1252ToUtf8(text)); }

int WinMessages::Show(const std::string& title, const std::string& text, UINT type) {
  const HWND owner = owner_ != nullptr && ::IsWindowVisible(owner_) ? owner_ : nullptr;
  return ::MessageBoxW(owner, FromGameText(text).c_str(), FromGameText(title).c_str(), type);
}

void WinMessages::Error(const std::string& text) { Show("Error", text, MB_OK | MB_ICONSTOP); }

void WinMessages::Information(const std::string& title, const std::string& text) {
  Show(title, text, MB_OK | MB_ICONINFORMATION);
}

void WinMessages::Plain(const std::string& title, const std::string& text) {
  Show(title, text, MB_OK);
}

bool WinMessages::Confirm(const std::string& title, const std::string& text) {
  return Show(title, text, MB_OKCANCEL) == IDOK;
}

bool WinFileDialog::GetOpenFileName(const OpenFileRequest& request, std::string* chosen) {
  std::vector<wchar_t> file(request.max_path + 1, L'\0');
  std::vector<wchar_t> file_title(request.max_path + 1, L'\0');
  // Name, zero, pattern, zero, and the list's closing zero.
  std::wstring filter = FromGameText(request.filter_name);
  filter.push_back(L'\0');
  filter += FromGameText(request.filter_pattern);
  filter.push_back(L'\0');
  const std::wstring folder = WideFromUtf8(request.initial_folder);
  const std::wstring title = FromGameText(request.title);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  dialog.hwndOwner = owner_;
  dialog.hInstance = instance_;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(request.max_path);
  dialog.lpstrFileTitle = file_title.data();
  dialog.nMaxFileTitle = static_cast<DWORD>(request.max_path);
  dialog.lpstrInitialDir = folder.c_str();
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = kOpenFileFlags;
  if (!::GetOpenFileNameW(&dialog)) return false;
  *chosen = Utf8FromWide(std::wstring_view(file.data()));
  return true;
}

WinProgress::WinProgress(HINSTANCE instance) : instance_(instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = ProgressProc;
  window_class.hInstance = instance_;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_WAIT);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kProgressClass;
  ::RegisterClassExW(&window_class);
}

WinProgress::~WinProgress() {
  End();
  if (font_ != nullptr) ::DeleteObject(font_);
}

void WinProgress::Begin(int resource_count) {
  End();
  resource_count_ = resource_count;
  began_ = ::GetTickCount64();
  updated_ = 0;
  running_ = true;
}

void WinProgress::Open() {
  constexpr int kWidth = 320;
  constexpr int kHeight = 110;
  RECT owner{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  if (owner_ != nullptr) ::GetWindowRect(owner_, &owner);
  window_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kProgressClass, L"Mod installation",
                              WS_POPUP | WS_CAPTION, (owner.left + owner.right - kWidth) / 2,
                              (owner.top + owner.bottom - kHeight) / 2, kWidth, kHeight, owner_,
                              nullptr, instance_, nullptr);
  if (window_ == nullptr) return;
  if (font_ == nullptr) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    font_ = ::CreateFontIndirectW(&metrics.lfMessageFont);
  }
  RECT client;
  ::GetClientRect(window_, &client);
  text_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 12, 8,
                            client.right - 24, 36, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressText)), instance_,
                            nullptr);
  ::SendMessageW(text_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  bar_ = ::CreateWindowExW(
      0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 12, 48, client.right - 24, 18, window_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kProgressBar)), instance_, nullptr);
  ::SendMessageW(bar_, PBM_SETRANGE32, 0, resource_count_ > 0 ? resource_count_ : 1);
  // Modal: the main window takes no input until the install ends.
  if (owner_ != nullptr) ::EnableWindow(owner_, FALSE);
  ::ShowWindow(window_, SW_SHOWNORMAL);
}

void WinProgress::Update(int resource, int64_t bytes_copied) {
  if (!running_) return;
  const ULONGLONG now = ::GetTickCount64();
  if (updated_ != 0 && now - updated_ < kRepaintEveryMs) return;
  updated_ = now;
  if (window_ == nullptr) {
    if (now - began_ < kShowAfterMs) return;
    Open();
    if (window_ == nullptr) return;
  }
  const std::wstring text = L"Installing resource " + std::to_wstring(resource) + L" of " +
                            std::to_wstring(resource_count_) + L"\n" +
                            std::to_wstring(bytes_copied) + L" bytes copied";
  ::SetWindowTextW(text_, text.c_str());
  ::SendMessageW(bar_, PBM_SETPOS, static_cast<WPARAM>(resource), 0);
  PumpWithoutInput();
}

void WinProgress::End() {
  running_ = false;
  if (window_ == nullptr) return;
  // The owner first, so that the system gives it the focus back rather than another program.
  if (owner_ != nullptr) ::EnableWindow(owner_, TRUE);
  ::DestroyWindow(window_);
  window_ = text_ = bar_ = nullptr;
}

}  // namespace tarnwick::winapp
