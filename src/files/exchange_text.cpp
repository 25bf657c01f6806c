#include "files/exchange_text.h"

#include <cstdio>

#include "document/cp1251.h"

namespace lark::files {

namespace {

constexpr char32_t kMalformed = 0xFFFFFFFF;

// Decodes one UTF-8 character at s[i] and advances i; kMalformed for a sequence that is
// not valid UTF-8 (overlong forms and surrogates included), i then past its first byte.
char32_t decode(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    std::size_t extra = 0;
    char32_t cp = 0, least = 0;
    if ((b0 & 0xE0) == 0xC0) extra = 1, cp = b0 & 0x1F, least = 0x80;
    else if ((b0 & 0xF0) == 0xE0) extra = 2, cp = b0 & 0x0F, least = 0x800;
    else if ((b0 & 0xF8) == 0xF0) extra = 3, cp = b0 & 0x07, least = 0x10000;
    else {
        ++i;
        return kMalformed;
    }
    if (i + extra >= s.size()) {
        ++i;
        return kMalformed;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kMalformed;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kMalformed;
    }
    i += extra + 1;
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
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

// True when every CR is followed by LF and every LF follows a CR.
bool onlyCrLf(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    }
    return true;
}

}  // namespace

void DropCrBeforeLf(std::string& text) {
    std::size_t w = 0;
    for (std::size_t r = 0; r < text.size(); ++r)
        if (!(text[r] == '\r' && r + 1 < text.size() && text[r + 1] == '\n')) text[w++] = text[r];
    text.resize(w);
}

ExportedText ExportText(std::string_view cp1251Text) {
    ExportedText out;
    out.breaksKept = !onlyCrLf(cp1251Text);
    std::string utf8 = cp1251::toUtf8(cp1251Text);
    if (!out.breaksKept) DropCrBeforeLf(utf8);
    out.utf8 = std::move(utf8);
    return out;
}

std::optional<std::string> ImportText(std::string_view utf8, bool breaksKept, TextProblem& problem) {
    if (utf8.starts_with("\xEF\xBB\xBF")) utf8.remove_prefix(3);
    std::string out;
    out.reserve(utf8.size() + utf8.size() / 32);
    std::size_t line = 1;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::size_t at = i;
        const char32_t cp = decode(utf8, i);
        if (cp == kMalformed) {
            problem = TextProblem{line, true, 0, static_cast<unsigned char>(utf8[at])};
            return std::nullopt;
        }
        const auto byte = cp == 0 ? std::nullopt : cp1251::fromUnicode(cp);
        if (!byte) {
            problem = TextProblem{line, false, cp, 0};
            return std::nullopt;
        }
        if (cp == '\n') {
            ++line;
            if (!breaksKept && (out.empty() || out.back() != '\r')) out += '\r';
        }
        out += static_cast<char>(*byte);
    }
    return out;
}

std::string DescribeProblem(std::string_view where, const TextProblem& problem, bool withLine) {
    std::string text(where);
    if (withLine) text += ": line " + std::to_string(problem.line);
    char code[32];
    if (problem.notUtf8) {
        std::snprintf(code, sizeof code, "0x%02X", problem.byte);
        return text + ": byte " + code + " is not UTF-8";
    }
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(problem.character));
    text += ": character ";
    text += code;
    if (problem.character == 0) return text + " (NUL) cannot be held in a notebook";
    text += " \"";
    appendUtf8(text, problem.character);
    return text + "\" cannot be held in Windows-1251";
}

}  // namespace lark::files
