#include "winapp/readme_window.h"

#include "winapp/program_icon.h"
#include "winapp/win_services.h"
#include "winapp/window_names.h"

namespace tarnwick::winapp {
namespace {

constexpr int kClientWidth = 7065;
constexpr int kClientHeight = 4740;
constexpr int kMinimumFollowed = 1000;
constexpr COLORREF kBackground = RGB(0, 0, 128);
constexpr COLORREF kTextBackground = RGB(224, 224, 224);

HMENU ControlMenu(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

}  // namespace

ReadmeWindow::ReadmeWindow(HINSTANCE instance, const TwipScale& scale)
    : instance_(instance), scale_(scale), layout_(scale) {
  background_ = ::CreateSolidBrush(kBackground);
  text_background_ = ::CreateSolidBrush(kTextBackground);
  icon_ = MakeProgramIcon(32);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance_;
  window_class.hIcon = icon_;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = background_;
  window_class.lpszClassName = kReadmeFormClass;
  ::RegisterClassExW(&window_class);

  // Owned by nobody: it has its own place in the task bar, beside the main window.
  window_ = ::CreateWindowExW(0, kReadmeFormClass, L"Readme file", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, instance_, this);
  text_font_ = MakeFixedsysFont(scale_.FontHeight(9));
  button_font_ = MakeArialFont(scale_.FontHeight(9.75), false);
  readme_text_ = ::CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"",
      WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
      0, 0, 0, 0, window_, ControlMenu(kReadmeText), instance_, nullptr);
  ::SendMessageW(readme_text_, WM_SETFONT, reinterpret_cast<WPARAM>(text_font_), FALSE);
  // Readmes run longer than the edit control's default of 32K characters.
  ::SendMessageW(readme_text_, EM_SETLIMITTEXT, 0, 0);
  close_button_ =
      ::CreateWindowExW(0, L"BUTTON", L"Close readme", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 0,
                        0, window_, ControlMenu(kCloseButton), instance_, nullptr);
  ::SendMessageW(close_button_, WM_SETFONT, reinterpret_cast<WPARAM>(button_font_), FALSE);
  layout_.Place(readme_text_, {0, 0, 6855, 4215});
  layout_.Place(close_button_, {120, 4320, 6855, 375});
  const SIZE outer = OuterSizeFor(window_, kClientWidth, kClientHeight, scale_);
  ::SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER);
}

ReadmeWindow::~ReadmeWindow() {
  if (window_ != nullptr) CloseForGood();
  ::DeleteObject(text_font_);
  ::DeleteObject(button_font_);
  ::DeleteObject(text_background_);
  ::UnregisterClassW(kReadmeFormClass, instance_);
  ::DeleteObject(background_);
  ::DestroyIcon(icon_);
}

void ReadmeWindow::SetReadme(const std::string& readme) {
  // The edit control breaks lines at CR LF only; a bare CR or LF would show as a box.
  std::wstring text;
  const std::wstring wide = FromGameText(readme);
  for (size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] == L'\r' || wide[i] == L'\n') {
      text += L"\r\n";
      if (wide[i] == L'\r' && i + 1 < wide.size() && wide[i + 1] == L'\n') ++i;
    } else {
      text.push_back(wide[i]);
    }
  }
  ::SetWindowTextW(readme_text_, text.c_str());
}

void ReadmeWindow::Show() {
  if (window_ == nullptr) return;
  // It has no owner to centre on, so the first showing centres it on the screen.
  if (!placed_) {
    placed_ = true;
    CentreOnScreen(window_);
  }
  ::ShowWindow(window_, SW_SHOW);
  ::SetForegroundWindow(window_);
}

void ReadmeWindow::Form_Unload() {
  if (::IsWindowEnabled(window_)) {
    ::ShowWindow(window_, SW_HIDE);
    return;
  }
  ::DestroyWindow(window_);
}

void ReadmeWindow::CloseForGood() {
  if (window_ == nullptr) return;
  ::EnableWindow(window_, FALSE);
  ::SendMessageW(window_, WM_CLOSE, 0, 0);
}

void ReadmeWindow::Form_Resize() {
  RECT client{};
  ::GetClientRect(window_, &client);
  const int inner_width = scale_.ToTwips(client.right);
  const int inner_height = scale_.ToTwips(client.bottom);
  TwipRect button = layout_.PlacedAt(close_button_);
  TwipRect text = layout_.PlacedAt(readme_text_);
  if (inner_width > kMinimumFollowed) {
    button.width = inner_width - 240;
    text.width = inner_width;
  }
  if (inner_height > kMinimumFollowed) {
    button.top = inner_height - 420;
    text.height = inner_height - 525;
  }
  layout_.Place(close_button_, button);
  layout_.Place(readme_text_, text);
}

LRESULT CALLBACK ReadmeWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<ReadmeWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(window, message, wparam, lparam);
}

LRESULT ReadmeWindow::Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      Form_Unload();
      return 0;
    case WM_DESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window_ = nullptr;
      return 0;
    case WM_SIZE:
      if (readme_text_ != nullptr && close_button_ != nullptr && wparam != SIZE_MINIMIZED) {
        Form_Resize();
      }
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kCloseButton && HIWORD(wparam) == BN_CLICKED) {
        ::SendMessageW(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
      // A read-only edit control asks for its colours as a label does.
      if (reinterpret_cast<HWND>(lparam) == readme_text_) {
        const HDC dc = reinterpret_cast<HDC>(wparam);
        ::SetTextColor(dc, RGB(0, 0, 0));
        ::SetBkColor(dc, kTextBackground);
        return reinterpret_cast<LRESULT>(text_background_);
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace tarnwick::winapp
