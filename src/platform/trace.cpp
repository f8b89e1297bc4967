#include "platform/trace.h"

namespace tarnwick {
namespace {
TraceSink g_sink = nullptr;
}  // namespace

void TraceLog(std::string_view text) {
  if (g_sink != nullptr) g_sink(text);
}

void SetTraceSink(TraceSink sink) { g_sink = sink; }

}  // namespace tarnwick
