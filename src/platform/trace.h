#pragma once

#include <cstdint>
#include <string_view>

namespace tarnwick {

// The step trace: silent unless a sink is set (the program sets one when TARNWICK_TRACE is set).
void TraceLog(std::string_view text);
// The text with a number between its two pieces; nothing is formatted while no sink listens, so
// a trace inside a copy loop costs nothing.
void TraceLog(std::string_view before, int64_t number, std::string_view after = {});

using TraceSink = void (*)(std::string_view text);
void SetTraceSink(TraceSink sink);

}  // namespace tarnwick
