#include "winapp/list_dialog.h"
// The list view control wants <windows.h> before it.
#include <commctrl.h>

#include "winapp/program_icon.h"
#include "winapp/window_names.h"

namespace tarnwick::winapp {
namespace {

constexpr int kWidth = 8400;  // twips
constexpr int kHeight = 4800;
constexpr int kMargin = 120;
constexpr int kHeadingHeight = 600;
constexpr int kButtonWidth = 1335;
constexpr int kButtonHeight = 375;

HMENU ControlMenu(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND && LOWORD(wparam) == IDCANCEL) {
    ::DestroyWindow(window);
    return 0;
  }
  if (message == WM_CLOSE) {
    ::DestroyWindow(window);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

void ShowListView(HINSTANCE instance, HWND owner, const TwipScale& scale, const ListView& view) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = ViewProc;
  window_class.hInstance = instance;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kListViewClass;
  ::RegisterClassExW(&window_class);

  RECT outer{0, 0, scale.ToPixels(kWidth), scale.ToPixels(kHeight)};
  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  ::AdjustWindowRectEx(&outer, kStyle, FALSE, WS_EX_DLGMODALFRAME);
  RECT around{};
  ::GetWindowRect(owner, &around);
  const int width = outer.right - outer.left;
  const int height = outer.bottom - outer.top;
  const HWND window = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kListViewClass, view.title.c_str(),
                                        kStyle, (around.left + around.right - width) / 2,
                                        (around.top + around.bottom - height) / 2, width, height,
                                        owner, nullptr, instance, nullptr);
  if (window == nullptr) return;

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  const HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont);
  const auto add = [&](const wchar_t* kind, const std::wstring& text, DWORD style, int id, int left,
                       int top, int w, int h) {
    const HWND control =
        ::CreateWindowExW(0, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                          scale.ToPixels(left), scale.ToPixels(top), scale.ToPixels(w),
                          scale.ToPixels(h), window, ControlMenu(id), instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  add(L"STATIC", view.heading, SS_LEFT | SS_NOPREFIX, kListHeading, kMargin, kMargin,
      kWidth - 2 * kMargin, kHeadingHeight);
  const int list_top = 2 * kMargin + kHeadingHeight;
  const HWND list = add(WC_LISTVIEWW, L"", WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_NOSORTHEADER,
                        kListTable, kMargin, list_top, kWidth - 2 * kMargin,
                        kHeight - list_top - 2 * kMargin - kButtonHeight);
  ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  // The last column takes what the others leave.
  const int table_width = scale.ToPixels(kWidth - 2 * kMargin) - 24;
  const int narrow = view.columns.size() > 1 ? table_width / 5 : table_width;
  for (size_t i = 0; i < view.columns.size(); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(view.columns[i].c_str());
    const bool last = i + 1 == view.columns.size();
    column.cx = last ? table_width - narrow * static_cast<int>(i) : narrow;
    ::SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  for (size_t row = 0; row < view.rows.size(); ++row) {
    for (size_t i = 0; i < view.rows[row].size() && i < view.columns.size(); ++i) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(row);
      item.iSubItem = static_cast<int>(i);
      item.pszText = const_cast<wchar_t*>(view.rows[row][i].c_str());
      ::SendMessageW(list, i == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row,
                     reinterpret_cast<LPARAM>(&item));
    }
  }
  add(L"BUTTON", L"Close", WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL, kWidth - kMargin - kButtonWidth,
      kHeight - kMargin - kButtonHeight, kButtonWidth, kButtonHeight);

  // Modal: the main window waits until the view is closed.
  ::EnableWindow(owner, FALSE);
  ::ShowWindow(window, SW_SHOWNORMAL);
  MSG message;
  while (::IsWindow(window) && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (::IsDialogMessageW(window, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (message.message == WM_QUIT) ::PostQuitMessage(static_cast<int>(message.wParam));
  ::EnableWindow(owner, TRUE);
  ::SetForegroundWindow(owner);
  ::DeleteObject(font);
}

}  // namespace tarnwick::winapp
