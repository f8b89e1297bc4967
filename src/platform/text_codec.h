#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The game's text (titles, readmes, the log, ANSI paths) is single-byte Windows-1252. The core
// keeps it as bytes; these convert at the edges (host file names, the windows).
std::string Cp1252ToUtf8(std::string_view text);
// Characters that Windows-1252 cannot hold become "?", as the ANSI calls of Windows do.
std::string Utf8ToCp1252(std::string_view text);

void AppendUtf8(std::string& out, char32_t code_point);

// Letter case ignored for A-Z only, as file and key names are compared.
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace tarnwick
