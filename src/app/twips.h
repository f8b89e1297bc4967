#pragma once

#include <QFont>
#include <QRect>
#include <QStringList>
#include <QWidget>

namespace tarnwick {

// The windows are designed in twips; the screen is addressed at 96 dots per inch.
inline constexpr int kTwipsPerPixel = 15;

inline int ToPixels(int twips) { return twips / kTwipsPerPixel; }
inline int ToTwips(int pixels) { return pixels * kTwipsPerPixel; }

struct TwipRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TwipRect&) const = default;
};

// Places a control and remembers its twips, so that layout rules work on the design units
// rather than on rounded pixels.
void Place(QWidget* widget, const TwipRect& rect);
TwipRect PlacedAt(const QWidget* widget);

// The height a word-wrapping label needs at its current width, in twips.
int FittedHeight(const QWidget* label, int width_twips);

// Arial, or the nearest sans-serif the system has.
QFont ArialFont(double points, bool bold = false);

}  // namespace tarnwick
