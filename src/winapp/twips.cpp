#include "winapp/twips.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

namespace tarnwick::winapp {

TwipScale::TwipScale() {
  const HDC screen = ::GetDC(nullptr);
  dpi_ = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  if (dpi_ <= 0) dpi_ = 96;
}

int TwipScale::FontHeight(double points) const {
  return -static_cast<int>(std::lround(points * dpi_ / 72.0));
}

void TwipLayout::Place(HWND control, const TwipRect& rect) {
  bool known = false;
  for (Placed& placed : placed_) {
    if (placed.control == control) {
      placed.rect = rect;
      known = true;
    }
  }
  if (!known) placed_.push_back({control, rect});
  ::MoveWindow(control, scale_.ToPixels(rect.left), scale_.ToPixels(rect.top),
               scale_.ToPixels(rect.width), scale_.ToPixels(rect.height), TRUE);
}

TwipRect TwipLayout::PlacedAt(HWND control) const {
  for (const Placed& placed : placed_) {
    if (placed.control == control) return placed.rect;
  }
  return {};
}

namespace {

std::wstring LabelText(HWND label) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(label)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(::GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));
  return text;
}

int FitText(HWND label, std::wstring text, int width_twips, const TwipScale& scale) {
  // An empty label still takes one line, as it would show one.
  if (text.empty()) text = L" ";
  const HDC dc = ::GetDC(label);
  const HGDIOBJ old_font =
      ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  RECT rect{0, 0, scale.ToPixels(width_twips), 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  ::SelectObject(dc, old_font);
  ::ReleaseDC(label, dc);
  return scale.ToTwips(rect.bottom - rect.top);
}

}  // namespace

int LabelFitter::Height(HWND label, int width_twips, const TwipScale& scale) {
  std::wstring text = LabelText(label);
  auto fitted = std::find_if(fitted_.begin(), fitted_.end(),
                             [label](const Fitted& entry) { return entry.label == label; });
  if (fitted == fitted_.end()) fitted = fitted_.insert(fitted_.end(), {label, -1, {}, 0});
  if (fitted->width_twips != width_twips || fitted->text != text) {
    fitted->height = FitText(label, text, width_twips, scale);
    fitted->width_twips = width_twips;
    fitted->text = std::move(text);
  }
  return fitted->height;
}

SIZE OuterSizeFor(HWND window, int client_width_twips, int client_height_twips,
                  const TwipScale& scale) {
  RECT rect{0, 0, scale.ToPixels(client_width_twips), scale.ToPixels(client_height_twips)};
  ::AdjustWindowRectEx(&rect, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)),
                       ::GetMenu(window) != nullptr,
                       static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void CentreOnScreen(HWND window) {
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT frame{};
  ::GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  ::SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace tarnwick::winapp
