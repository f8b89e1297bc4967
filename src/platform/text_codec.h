#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// The game's text (titles, readmes, the log) is single-byte Windows-1252. The core keeps it as
// bytes; these convert it at the edges (the windows). Paths are UTF-8 throughout.
std::string Cp1252ToUtf8(std::string_view text);
// Characters that Windows-1252 cannot hold become "?", as the ANSI calls of Windows do.
std::string Utf8ToCp1252(std::string_view text);

void AppendUtf8(std::string& out, char32_t code_point);

// Decodes one UTF-8 character at `pos` into UTF-16 and advances past it; a broken sequence gives
// U+FFFD for its first byte.
void DecodeUtf8Char(std::string_view text, size_t& pos, std::u16string& out);
std::u16string Utf16FromUtf8(std::string_view text);
// A half of a surrogate pair on its own becomes "?", as Windows' conversion makes it.
std::string Utf8FromUtf16(std::u16string_view units);
// The length Windows counts for a path: UTF-16 units.
size_t Utf16Length(std::string_view utf8);

// How many continuation bytes follow a UTF-8 lead byte; -1 for a byte that cannot lead
// (a continuation byte, or the start of an overlong or out-of-range form).
constexpr int Utf8TrailCount(unsigned char lead) {
  return lead < 0x80   ? 0
         : lead < 0xC2 ? -1
         : lead < 0xE0 ? 1
         : lead < 0xF0 ? 2
         : lead < 0xF5 ? 3
                       : -1;
}

// Letter case ignored for A-Z only, as file and key names are compared.
bool SameIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace tarnwick
