#pragma once

#include <string_view>

namespace tarnwick {

// The step trace: silent unless a sink is set (the program sets one when TARNWICK_TRACE is set).
void TraceLog(std::string_view text);

using TraceSink = void (*)(std::string_view text);
void SetTraceSink(TraceSink sink);

}  // namespace tarnwick
