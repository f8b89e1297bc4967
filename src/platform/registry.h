#pragma once

#include <string>

namespace tarnwick {

enum class RegRoot { kLocalMachine };

// The text of a string value (REG_SZ or REG_EXPAND_SZ, unexpanded), or "" when the key cannot
// be opened or the value cannot be read (also when it does not fit 1024 bytes with its zero).
// On Windows the real registry, 32-bit view, opened with access mask 0x2003F. Elsewhere the
// registry of the game's Wine prefix: $WINEPREFIX, ~/.wine, then the Steam Proton prefix of the
// game in each Steam library; under each the Software\Wow6432Node view first. The prefix that
// answers becomes the one the game's paths map through (SetWinePrefix).
[[nodiscard]] std::string ReadRegString(RegRoot root, const std::string& sub_key,
                                        const std::string& value_name);

}  // namespace tarnwick
