#pragma once

#include <string>
#include <vector>

#include "winapp/win32.h"

namespace tarnwick::winapp {

struct TwipRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// The windows are designed in twips (1/1440 inch); the screen is addressed at the system's dots
// per inch, 15 twips to a pixel at 96.
class TwipScale {
 public:
  TwipScale();
  explicit TwipScale(int dpi) : dpi_(dpi) {}
  int ToPixels(int twips) const { return ::MulDiv(twips, dpi_, 1440); }
  int ToTwips(int pixels) const { return ::MulDiv(pixels, 1440, dpi_); }
  int Dpi() const { return dpi_; }
  // The font height for CreateFontW: negative, a character height of `points`.
  int FontHeight(double points) const;

 private:
  int dpi_;
};

// The controls of one window with their design rectangles, so that the layout rules work on
// twips rather than on rounded pixels.
class TwipLayout {
 public:
  explicit TwipLayout(const TwipScale& scale) : scale_(scale) {}
  void Place(HWND control, const TwipRect& rect);
  TwipRect PlacedAt(HWND control) const;

 private:
  struct Placed {
    HWND control;
    TwipRect rect;
  };
  const TwipScale& scale_;
  std::vector<Placed> placed_;
};

// Fits word-wrapping labels to their texts, remembering the last answer for each label until its
// text or the width changes: the list of installed mods is fitted when it is filled and again
// when the window first shows, at the same width, and with a thousand names each fitting lays out
// every one of them. (A label's font is set once, when it is made.)
class LabelFitter {
 public:
  // The height `label` needs for its text at `width_twips`, in twips.
  int Height(HWND label, int width_twips, const TwipScale& scale);

 private:
  struct Fitted {
    HWND label;
    int width_twips;
    std::wstring text;
    int height;
  };
  std::vector<Fitted> fitted_;
};

// The size of the window's outside for an inside of the given twips, with its frame and menu.
SIZE OuterSizeFor(HWND window, int client_width_twips, int client_height_twips,
                  const TwipScale& scale);

// Moves a window to the middle of the screen's work area.
void CentreOnScreen(HWND window);

}  // namespace tarnwick::winapp
