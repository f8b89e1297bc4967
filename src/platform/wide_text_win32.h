#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The wide calls of Windows take UTF-16; the program keeps its paths and settings in UTF-8.
// A broken sequence either way becomes U+FFFD, as Windows' own conversion makes it.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

}  // namespace tarnwick
