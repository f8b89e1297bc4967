#pragma once

namespace tarnwick::cli {

// What a script reads from the command's exit status.
inline constexpr int kExitOk = 0;       // the command did what was asked
inline constexpr int kExitRefused = 1;  // refused, declined or failed, after its message
inline constexpr int kExitUsage = 2;    // the command line itself was wrong

}  // namespace tarnwick::cli
