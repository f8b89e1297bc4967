#pragma once

namespace tarnwick {

inline constexpr char kProgramTitle[] = "Tarnwick (v0.81 - beta)";
inline constexpr char kWebAddress[] = "https://tarnwick.example.org";
inline constexpr char kAuthorName[] = "the Tarnwick team";
inline constexpr char kAuthorEmail[] = "tarnwick@example.org";

inline constexpr char kHelpText[] =
    "For instructions on the usage of this program, see the description of the 'Tarnwick' in "
    "the 'Downloads...Utilities' section of ";

}  // namespace tarnwick
