#include "winapp/list_dialog.h"
// The list view control wants <windows.h> before it.
#include <commctrl.h>

#include "winapp/window_names.h"

namespace tarnwick::winapp {
namespace {

constexpr int kHeight = 4800;  // twips
constexpr int kMargin = 120;
constexpr int kHeadingHeight = 600;
constexpr int kButtonWidth = 1335;
constexpr int kButtonHeight = 375;

HMENU ControlMenu(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

// The view on the screen, as its window procedure finds it.
struct Shown {
  const ListView& view;
  HWND table;
  HWND action;
};

void Fill(HWND table, const ListRows& rows, size_t columns) {
  ::SendMessageW(table, LVM_DELETEALLITEMS, 0, 0);
  for (size_t row = 0; row < rows.size(); ++row) {
    for (size_t i = 0; i < rows[row].size() && i < columns; ++i) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(row);
      item.iSubItem = static_cast<int>(i);
      item.pszText = const_cast<wchar_t*>(rows[row][i].c_str());
      ::SendMessageW(table, i == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row,
                     reinterpret_cast<LPARAM>(&item));
    }
  }
}

void Act(HWND window, const Shown& shown) {
  const LRESULT row = ::SendMessageW(shown.table, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                     MAKELPARAM(LVNI_SELECTED, 0));
  if (row < 0 || !shown.view.act) return;
  const ListRows rows = shown.view.act(window, static_cast<size_t>(row));
  Fill(shown.table, rows, shown.view.columns.size());
  ::EnableWindow(shown.action, FALSE);
}

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const auto* shown = reinterpret_cast<const Shown*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == IDCANCEL) {
        ::DestroyWindow(window);
      } else if (LOWORD(wparam) == kListAction && HIWORD(wparam) == BN_CLICKED && shown) {
        Act(window, *shown);
      }
      return 0;
    case WM_NOTIFY: {
      const auto* notice = reinterpret_cast<const NMHDR*>(lparam);
      if (shown != nullptr && shown->action != nullptr && notice->hwndFrom == shown->table &&
          notice->code == LVN_ITEMCHANGED) {
        ::EnableWindow(shown->action, ::SendMessageW(shown->table, LVM_GETSELECTEDCOUNT, 0, 0) > 0);
      }
      return 0;
    }
    case WM_CLOSE:
      ::DestroyWindow(window);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
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

  const int inside = view.width;
  RECT outer{0, 0, scale.ToPixels(inside), scale.ToPixels(kHeight)};
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
      inside - 2 * kMargin, kHeadingHeight);
  const int list_top = 2 * kMargin + kHeadingHeight;
  const HWND table =
      add(WC_LISTVIEWW, L"", WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_NOSORTHEADER | LVS_SINGLESEL,
          kListTable, kMargin, list_top, inside - 2 * kMargin,
          kHeight - list_top - 2 * kMargin - kButtonHeight);
  ::SendMessageW(table, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  // Room for the border and the scroll bar; the column without a width takes the rest.
  int rest = scale.ToPixels(inside - 2 * kMargin) - 24;
  for (const ListColumn& column : view.columns) rest -= scale.ToPixels(column.width);
  for (size_t i = 0; i < view.columns.size(); ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(view.columns[i].text.c_str());
    column.cx = view.columns[i].width > 0 ? scale.ToPixels(view.columns[i].width) : rest;
    ::SendMessageW(table, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  Fill(table, view.rows, view.columns.size());
  const int buttons_top = kHeight - kMargin - kButtonHeight;
  const int close_left = inside - kMargin - kButtonWidth;
  HWND action = nullptr;
  if (!view.action.empty()) {
    action = add(L"BUTTON", view.action, WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, kListAction,
                 close_left - kMargin - kButtonWidth, buttons_top, kButtonWidth, kButtonHeight);
  }
  add(L"BUTTON", L"Close", WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL, close_left, buttons_top,
      kButtonWidth, kButtonHeight);
  const Shown shown{view, table, action};
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&shown));

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
  // Ended by the program's end rather than by the player: the view goes with this call.
  if (::IsWindow(window)) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    ::DestroyWindow(window);
  }
  ::SetForegroundWindow(owner);
  ::DeleteObject(font);
}

}  // namespace tarnwick::winapp
