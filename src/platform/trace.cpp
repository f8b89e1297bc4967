#include "platform/trace.h"

#include <string>

namespace tarnwick {
namespace {
TraceSink g_sink = nullptr;
}  // namespace

void TraceLog(std::string_view text) {
  if (g_sink != nullptr) g_sink(text);
}

void TraceLog(std::string_view before, int64_t number, std::string_view after) {
  if (g_sink == nullptr) return;
  std::string text(before);
  text += std::to_string(number);
  text += after;
  g_sink(text);
}

void SetTraceSink(TraceSink sink) { g_sink = sink; }

}  // namespace tarnwick
