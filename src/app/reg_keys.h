#pragma once

namespace tarnwick {

// Where the game's installers leave the game folder, Clone Campaigns first.
inline constexpr char kCcRegKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    "Campaigns\\1.0";
inline constexpr char kBaseRegKey[] =
    "SOFTWARE\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0";
inline constexpr char kGamePathValue[] = "Game Path";

}  // namespace tarnwick
