#pragma once
// Case-folding substring search on Windows-1251 bytes: Latin A-Z and every Cyrillic
// capital (Ё included) match their small letters. Works on the bytes in place; nothing
// is lower-cased into a copy.
#include <cstddef>
#include <string_view>

namespace lark {

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Position of the first occurrence of `needle` in `haystack` at or after `from`, letter
// case ignored on both sides; kNotFound when there is none. An empty needle is found
// nowhere.
std::size_t FindFolded(std::string_view haystack, std::string_view needle, std::size_t from = 0);

inline bool ContainsFolded(std::string_view haystack, std::string_view needle) {
    return FindFolded(haystack, needle) != kNotFound;
}

// Position of the first byte equal to `a` or `b` in [data, data + size), or kNotFound.
std::size_t FindEitherByte(const char* data, std::size_t size, unsigned char a, unsigned char b);

}  // namespace lark
