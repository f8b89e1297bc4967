#pragma once

// The main window's measures in twips, as every face lays it out: its inner size, the line
// between the buttons and the list, and the limits below which resizing leaves it alone.
namespace tarnwick {

inline constexpr int kClientWidth = 6360;
inline constexpr int kClientHeight = 3465;
inline constexpr int kLine1X = 2640;
inline constexpr int kLine1Y1 = 120;
// The list keeps a fixed distance from the window's right edge.
inline constexpr int kListMargin = 2800;
inline constexpr int kResizeMinWidth = 3000;
inline constexpr int kResizeMinHeight = 200;
inline constexpr int kLine1BottomGap = 105;

}  // namespace tarnwick
