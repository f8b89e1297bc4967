#include "platform/text_codec.h"

#include <array>
#include <cstdint>
#include <string>

namespace tarnwick {
namespace {

// Code points of bytes 0x80 to 0x9F; 0 marks the five bytes the code page leaves undefined,
// which map to the C1 control of the same number as Windows' own conversion does.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t CodePointOf(unsigned char byte) {
  if (byte >= 0x80 && byte <= 0x9F) {
    const char16_t mapped = kHigh[byte - 0x80];
    return mapped != 0 ? mapped : byte;
  }
  return byte;
}

char ByteOf(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (size_t i = 0; i < kHigh.size(); ++i) {
    if (kHigh[i] != 0 && kHigh[i] == cp) return static_cast<char>(0x80 + i);
    if (kHigh[i] == 0 && cp == 0x80 + i) return static_cast<char>(cp);
  }
  return '?';
}

void AppendCodePoint(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  } else {
    out += static_cast<char16_t>(cp);
  }
}

}  // namespace

void DecodeUtf8Char(std::string_view text, size_t& pos, std::u16string& out) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  int extra = Utf8TrailCount(lead);
  if (extra < 0 || pos + static_cast<size_t>(extra) >= text.size()) {
    out += extra == 0 ? static_cast<char16_t>(lead) : u'\uFFFD';
    ++pos;
    return;
  }
  char32_t cp = extra == 0 ? lead : lead & (0x7F >> (extra + 1));
  for (int k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[pos + static_cast<size_t>(k)]);
    if ((next & 0xC0) != 0x80) {
      out += u'\uFFFD';
      ++pos;
      return;
    }
    cp = (cp << 6) | (next & 0x3F);
  }
  constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  AppendCodePoint(out, cp);
  pos += static_cast<size_t>(extra) + 1;
}

std::u16string Utf16FromUtf8(std::string_view text) {
  std::u16string out;
  size_t pos = 0;
  while (pos < text.size()) DecodeUtf8Char(text, pos, out);
  return out;
}

std::string Utf8FromUtf16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                          (static_cast<char32_t>(units[i + 1]) - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      out += '?';
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    const auto lower = [](unsigned char ch) { return ch >= 'A' && ch <= 'Z' ? ch + 32 : ch; };
    if (lower(x) != lower(y)) return false;
  }
  return true;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) AppendUtf8(out, CodePointOf(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = Utf8TrailCount(lead);
    if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) {
      out += '?';
      ++i;
      continue;
    }
    char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
    bool valid = true;
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (next & 0x3F);
    }
    // An overlong form would smuggle a character (a zero, a separator) past checks on bytes.
    constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
    if (valid && cp < kLeast[extra]) valid = false;
    if (!valid) {
      out += '?';
      ++i;
      continue;
    }
    out += ByteOf(cp);
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

size_t Utf16Length(std::string_view utf8) { return Utf16FromUtf8(utf8).size(); }

}  // namespace tarnwick
