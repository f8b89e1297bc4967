#include "winapp/list_dialog.h"
// The list view control wants <windows.h> before it.
#include <commctrl.h>

#include <algorithm>
#include <cstdint>

#include "winapp/window_names.h"

namespace tarnwick::winapp {
namespace {

constexpr int kMinimumWidth = 8400;  // twips
constexpr int kHeight = 4800;
constexpr int kMargin = 120;
constexpr int kHeadingHeight = 600;
constexpr int kButtonWidth = 1335;
constexpr int kButtonHeight = 375;
// Pixels of a table that are not its columns: the border and the scroll bar.
constexpr int kTableChrome = 24;
// Pixels around a button's caption, and around a column heading's text with its divider.
constexpr int kTextPadding = 16;
constexpr int kHeadingPadding = 24;

HMENU ControlMenu(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

// The view on the screen, as its window procedure finds it.
struct Shown {
  const ListView& view;
  HWND table;
  std::vector<HWND> actions;  // in the order of view.actions
  size_t sorted_by = SIZE_MAX;
  bool descending = false;
};

void Fill(HWND table, const ListRows& rows, size_t columns) {
  ::SendMessageW(table, LVM_DELETEALLITEMS, 0, 0);
  for (size_t row = 0; row < rows.size(); ++row) {
    const std::vector<std::wstring>& cells = rows[row].cells;
    for (size_t i = 0; i < cells.size() && i < columns; ++i) {
      LVITEMW item{};
      item.mask = i == 0 ? LVIF_TEXT | LVIF_PARAM : LVIF_TEXT;
      item.iItem = static_cast<int>(row);
      item.iSubItem = static_cast<int>(i);
      item.pszText = const_cast<wchar_t*>(cells[i].c_str());
      item.lParam = static_cast<LPARAM>(rows[row].shade);
      ::SendMessageW(table, i == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, row,
                     reinterpret_cast<LPARAM>(&item));
    }
  }
}

void Show(Shown& shown, const ListRows& rows) {
  Fill(shown.table, rows, shown.view.columns.size());
  for (const HWND action : shown.actions) ::EnableWindow(action, FALSE);
}

void Act(HWND window, Shown& shown, int id) {
  const LRESULT row = ::SendMessageW(shown.table, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                     MAKELPARAM(LVNI_SELECTED, 0));
  if (row < 0) return;
  for (const ListAction& action : shown.view.actions) {
    if (action.id != id || !action.act) continue;
    if (const std::optional<ListRows> rows = action.act(window, static_cast<size_t>(row))) {
      Show(shown, *rows);
    }
    return;
  }
}

void Sort(Shown& shown, size_t column) {
  shown.descending = column == shown.sorted_by && !shown.descending;
  shown.sorted_by = column;
  Show(shown, shown.view.sort(column, shown.descending));
}

// Rows of the table get the background of their shade.
LRESULT Shade(NMLVCUSTOMDRAW& draw) {
  if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
    const auto shade = static_cast<COLORREF>(draw.nmcd.lItemlParam);
    if (shade != CLR_INVALID) {
      draw.clrTextBk = shade;
      draw.clrText = RGB(0, 0, 0);
    }
  }
  return CDRF_DODEFAULT;
}

LRESULT Notify(Shown& shown, NMHDR& notice) {
  if (notice.hwndFrom != shown.table) return 0;
  switch (notice.code) {
    case LVN_ITEMCHANGED: {
      const bool selected = ::SendMessageW(shown.table, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
      for (const HWND action : shown.actions) ::EnableWindow(action, selected);
      return 0;
    }
    case LVN_COLUMNCLICK:
      if (shown.view.sort)
        Sort(shown, static_cast<size_t>(reinterpret_cast<NMLISTVIEW&>(notice).iSubItem));
      return 0;
    case NM_CUSTOMDRAW:
      return Shade(reinterpret_cast<NMLVCUSTOMDRAW&>(notice));
    default:
      return 0;
  }
}

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* shown = reinterpret_cast<Shown*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == IDCANCEL) {
        ::DestroyWindow(window);
      } else if (HIWORD(wparam) == BN_CLICKED && shown != nullptr) {
        Act(window, *shown, LOWORD(wparam));
      }
      return 0;
    case WM_NOTIFY:
      return shown != nullptr ? Notify(*shown, *reinterpret_cast<NMHDR*>(lparam)) : 0;
    case WM_CLOSE:
      ::DestroyWindow(window);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wparam, lparam);
  }
}

// The size of a text in the view's font, wrapped at `width` pixels when it is given.
struct Extent {
  int width;
  int height;
};
Extent TextSize(HWND window, HFONT font, const std::wstring& text, int width = 0) {
  const HDC dc = ::GetDC(window);
  const HGDIOBJ old = ::SelectObject(dc, font);
  RECT rect{0, 0, width > 0 ? width : 1 << 20, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_NOPREFIX | (width > 0 ? DT_WORDBREAK : DT_SINGLELINE));
  ::SelectObject(dc, old);
  ::ReleaseDC(window, dc);
  return {static_cast<int>(rect.right), static_cast<int>(rect.bottom)};
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

  constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  const HWND window = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kListViewClass, view.title.c_str(),
                                        kStyle, 0, 0, 0, 0, owner, nullptr, instance, nullptr);
  if (window == nullptr) return;

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
  const HFONT font = ::CreateFontIndirectW(&metrics.lfMessageFont);
  // Controls are made first and placed once the view's width is known.
  const auto add = [&](const wchar_t* kind, const std::wstring& text, DWORD style, int id) {
    const HWND control = ::CreateWindowExW(0, kind, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                                           0, 0, 0, window, ControlMenu(id), instance, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
  };
  const HWND heading = view.heading.empty()
                           ? nullptr
                           : add(L"STATIC", view.heading, SS_LEFT | SS_NOPREFIX, kListHeading);
  const HWND table = add(WC_LISTVIEWW, L"",
                         WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                             (view.sort ? 0 : LVS_NOSORTHEADER),
                         kListTable);
  ::SendMessageW(table, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  const HWND footer = view.footer.empty()
                          ? nullptr
                          : add(L"STATIC", view.footer, SS_LEFT | SS_NOPREFIX, kListFooter);
  Shown shown{view, table, {}};
  for (const ListAction& action : view.actions) {
    shown.actions.push_back(
        add(L"BUTTON", action.text, WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, action.id));
  }
  const HWND close = add(L"BUTTON", L"Close", WS_TABSTOP | BS_DEFPUSHBUTTON, IDCANCEL);

  for (size_t i = 0; i < view.columns.size(); ++i) {
    const ListColumn& column = view.columns[i];
    LVCOLUMNW inserted{};
    inserted.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    inserted.fmt = column.numbers ? LVCFMT_RIGHT : LVCFMT_LEFT;
    inserted.pszText = const_cast<wchar_t*>(column.text.c_str());
    inserted.cx = column.width > 0 ? scale.ToPixels(column.width) : 0;
    ::SendMessageW(table, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&inserted));
  }
  Fill(table, view.rows, view.columns.size());
  int columns_width = 0;
  for (size_t i = 0; i < view.columns.size(); ++i) {
    if (view.columns[i].width == ListColumn::kFitCells) {
      ::SendMessageW(table, LVM_SETCOLUMNWIDTH, i, LVSCW_AUTOSIZE);
      const int cells = static_cast<int>(::SendMessageW(table, LVM_GETCOLUMNWIDTH, i, 0));
      const int heading_width =
          TextSize(window, font, view.columns[i].text).width + kHeadingPadding;
      ::SendMessageW(table, LVM_SETCOLUMNWIDTH, i, std::max(cells, heading_width));
    }
    columns_width += static_cast<int>(::SendMessageW(table, LVM_GETCOLUMNWIDTH, i, 0));
  }

  // The inside, in pixels: as designed, or as wide as the columns within the screen's work area.
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int margin = scale.ToPixels(kMargin);
  int width = scale.ToPixels(view.width);
  if (view.width <= 0) {
    RECT frame{0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_DLGMODALFRAME);
    const int room = (work.right - work.left) - (frame.right - frame.left);
    width = std::clamp(columns_width + kTableChrome + 2 * margin, scale.ToPixels(kMinimumWidth),
                       std::max(room, scale.ToPixels(kMinimumWidth)));
  }
  const int height = scale.ToPixels(kHeight);
  const int button_height = scale.ToPixels(kButtonHeight);
  const int buttons_top = height - margin - button_height;
  const int table_top = heading != nullptr ? 2 * margin + scale.ToPixels(kHeadingHeight) : margin;
  int table_bottom = buttons_top - margin;
  if (heading != nullptr) {
    ::MoveWindow(heading, margin, margin, width - 2 * margin, scale.ToPixels(kHeadingHeight),
                 FALSE);
  }
  if (footer != nullptr) {
    const int footer_height = TextSize(window, font, view.footer, width - 2 * margin).height;
    table_bottom -= footer_height + margin / 2;
    ::MoveWindow(footer, margin, table_bottom + margin / 2, width - 2 * margin, footer_height,
                 FALSE);
  }
  ::MoveWindow(table, margin, table_top, width - 2 * margin, table_bottom - table_top, FALSE);
  // The column without a width takes what the others leave.
  const int table_width = width - 2 * margin - kTableChrome;
  for (size_t i = 0; i < view.columns.size(); ++i) {
    if (view.columns[i].width == ListColumn::kRestOfTable) {
      ::SendMessageW(table, LVM_SETCOLUMNWIDTH, i, std::max(table_width - columns_width, 0));
    }
  }
  // "Close" at the right, the actions left of it in their order, each as wide as its caption.
  int right = width - margin;
  const auto place_button = [&](HWND button, const std::wstring& text) {
    const int button_width =
        std::max(scale.ToPixels(kButtonWidth), TextSize(window, font, text).width + kTextPadding);
    right -= button_width;
    ::MoveWindow(button, right, buttons_top, button_width, button_height, FALSE);
    right -= margin;
  };
  place_button(close, L"Close");
  for (size_t i = view.actions.size(); i-- > 0;)
    place_button(shown.actions[i], view.actions[i].text);

  RECT outer{0, 0, width, height};
  ::AdjustWindowRectEx(&outer, kStyle, FALSE, WS_EX_DLGMODALFRAME);
  RECT around{};
  ::GetWindowRect(owner, &around);
  const int outer_width = outer.right - outer.left;
  const int outer_height = outer.bottom - outer.top;
  // Over the middle of the owner, within the work area.
  const auto centred = [](int low, int high, int size, int work_low, int work_high) {
    return std::clamp((low + high - size) / 2, work_low, std::max(work_low, work_high - size));
  };
  const int left = centred(around.left, around.right, outer_width, work.left, work.right);
  const int top = centred(around.top, around.bottom, outer_height, work.top, work.bottom);
  ::SetWindowPos(window, nullptr, left, top, outer_width, outer_height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&shown));

  // Modal: the owner waits until the view is closed.
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
