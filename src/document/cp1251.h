#pragma once
// Windows-1251 <-> Unicode. The one conversion table of the program: the core keeps
// notebook bytes as they are and converts only at the edges (window, lkp, messages).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lark::cp1251 {

// Unicode code point of a Windows-1251 byte. 0x98 (unassigned) maps to U+FFFD.
char32_t toUnicode(unsigned char byte);

// Windows-1251 byte for a code point, or nothing when the code page cannot hold it.
std::optional<unsigned char> fromUnicode(char32_t cp);

// Whole strings. toUtf8 never fails.
std::string toUtf8(std::string_view bytes);

// Converts UTF-8 to Windows-1251. Returns nothing when a character cannot be held or
// the input is not valid UTF-8.
std::optional<std::string> fromUtf8(std::string_view utf8);

// Converts UTF-8 to Windows-1251, replacing each character the code page cannot hold
// with `replacement`; counts the replacements.
std::string fromUtf8Lossy(std::string_view utf8, char replacement, std::size_t* replaced = nullptr);

// Lower-casing of Latin A-Z and every Cyrillic capital (Ё included), byte for byte.
unsigned char toLower(unsigned char byte);
std::string toLower(std::string_view bytes);
const unsigned char* lowerTable();  // 256 entries

}  // namespace lark::cp1251
