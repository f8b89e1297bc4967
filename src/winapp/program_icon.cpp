#include "winapp/program_icon.h"

namespace tarnwick::winapp {
namespace {

// Scales the 32-pixel design to `size`.
int At(int design, int size) { return ::MulDiv(design, size, 32); }

void FillRectangle(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  const HBRUSH brush = ::CreateSolidBrush(colour);
  const RECT rect{left, top, right, bottom};
  ::FillRect(dc, &rect, brush);
  ::DeleteObject(brush);
}

}  // namespace

HICON MakeProgramIcon(int size) {
  const HDC screen = ::GetDC(nullptr);
  const HBITMAP colour = ::CreateCompatibleBitmap(screen, size, size);
  const HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
  const HDC dc = ::CreateCompatibleDC(screen);
  const HGDIOBJ old = ::SelectObject(dc, colour);

  FillRectangle(dc, 0, 0, size, size, RGB(0, 0, 128));
  const COLORREF brown = RGB(96, 48, 0);
  const COLORREF pale = RGB(192, 192, 255);
  FillRectangle(dc, At(5, size), At(16, size), At(28, size), At(30, size), brown);
  FillRectangle(dc, At(6, size), At(17, size), At(27, size), At(29, size), RGB(200, 140, 40));
  FillRectangle(dc, At(5, size), At(21, size), At(28, size), At(22, size), brown);
  FillRectangle(dc, At(13, size), At(2, size), At(19, size), At(11, size), pale);
  const HBRUSH arrow_brush = ::CreateSolidBrush(pale);
  const HPEN arrow_pen = ::CreatePen(PS_SOLID, 1, pale);
  const HGDIOBJ old_brush = ::SelectObject(dc, arrow_brush);
  const HGDIOBJ old_pen = ::SelectObject(dc, arrow_pen);
  const POINT arrow[] = {
      {At(8, size), At(11, size)}, {At(24, size), At(11, size)}, {At(16, size), At(19, size)}};
  ::Polygon(dc, arrow, 3);
  ::SelectObject(dc, old_pen);
  ::SelectObject(dc, old_brush);
  ::DeleteObject(arrow_pen);
  ::DeleteObject(arrow_brush);

  // An all-zero mask: every pixel of the colour picture is shown.
  ::SelectObject(dc, mask);
  ::PatBlt(dc, 0, 0, size, size, BLACKNESS);
  ::SelectObject(dc, old);
  ::DeleteDC(dc);
  ::ReleaseDC(nullptr, screen);

  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  const HICON icon = ::CreateIconIndirect(&info);
  ::DeleteObject(colour);
  ::DeleteObject(mask);
  return icon;
}

HFONT MakeArialFont(int height, bool bold) {
  return ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Arial");
}

HFONT MakeFixedsysFont(int height) {
  return ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       FIXED_PITCH | FF_MODERN, L"Fixedsys");
}

}  // namespace tarnwick::winapp
