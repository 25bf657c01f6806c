#include "files/name_escape.h"

namespace lark::files {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Bytes of the unit that starts at s[i]: an escape, or one UTF-8 character.
std::size_t unitLength(std::string_view s, std::size_t i) {
    if (s[i] == '%' && i + 2 < s.size()) return 3;
    std::size_t n = 1;
    while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
    return n;
}

// Bytes a file name never holds as they are: the escape sign, "/", and the control bytes
// (NUL to US, and DEL), which file managers and terminals show badly or not at all.
bool mustEscape(unsigned char c) { return c == '%' || c == '/' || c < 0x20 || c == 0x7F; }

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::string EscapeName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (mustEscape(c) || (c == '.' && i == 0)) {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string UnescapeName(std::string_view escaped) {
    std::string out;
    out.reserve(escaped.size());
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '%' && i + 2 < escaped.size()) {
            const int hi = hexValue(escaped[i + 1]), lo = hexValue(escaped[i + 2]);
            const int value = hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
            if (value >= 0 && (mustEscape(static_cast<unsigned char>(value)) || value == '.')) {
                out += static_cast<char>(value);
                i += 2;
                continue;
            }
        }
        out += escaped[i];
    }
    return out;
}

int NumberWidth(int siblings) {
    int width = 1;
    for (int n = siblings; n >= 10; n /= 10) ++width;
    return width < 3 ? 3 : width;
}

std::string SectionStem(int position, int width, std::string_view name, bool& cut) {
    std::string stem = std::to_string(position);
    if (static_cast<int>(stem.size()) < width) stem.insert(0, static_cast<std::size_t>(width) - stem.size(), '0');
    stem += ' ';
    const std::string escaped = EscapeName(name);
    const std::size_t budget = kMaxFileNameBytes - kTextSuffix.size();
    cut = false;
    for (std::size_t i = 0; i < escaped.size();) {
        const std::size_t n = unitLength(escaped, i);
        if (stem.size() + n > budget) {
            cut = true;
            break;
        }
        stem.append(escaped, i, n);
        i += n;
    }
    return stem;
}

std::string_view StemName(std::string_view stem) {
    std::size_t digits = 0;
    while (digits < stem.size() && stem[digits] >= '0' && stem[digits] <= '9') ++digits;
    if (digits == 0 || digits >= stem.size() || stem[digits] != ' ') return stem;
    return stem.substr(digits + 1);
}

}  // namespace lark::files
