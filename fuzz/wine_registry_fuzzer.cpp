// The parser of Wine's registry files over any text: it keeps what follows the format, and
// looking up the game's keys in whatever it kept is safe.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "platform/wine_registry.h"

namespace {

constexpr std::string_view kKeys[] = {
    "Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds: Clone "
    "Campaigns\\1.0",
    "Software\\LucasArts Entertainment Company LLC\\Star Wars Galactic Battlegrounds\\1.0",
    "Software\\Wow6432Node\\LucasArts Entertainment Company LLC\\Star Wars Galactic "
    "Battlegrounds\\1.0",
    "Software", ""};
constexpr std::string_view kValues[] = {"Game Path", "", "game path"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnwick;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto registry = WineRegistry::Parse(text);
  if (!registry) return 0;
  for (const std::string_view key : kKeys) {
    const bool has_key = registry->HasKey(key);
    for (const std::string_view value_name : kValues) {
      const WineRegValue* value = registry->Find(key, value_name);
      TARNWICK_FUZZ_CHECK(value == nullptr || has_key);
      if (value == nullptr) continue;
      const std::string ansi = RegStringValue(*value);
      TARNWICK_FUZZ_CHECK(ansi.size() < 1024);
      TARNWICK_FUZZ_CHECK(ansi.find('\0') == std::string::npos);
    }
  }
  return 0;
}
