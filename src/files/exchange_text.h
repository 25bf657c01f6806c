#pragma once
// Texts between a notebook (Windows-1251, CR LF line breaks) and plain UTF-8 files (LF).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lark::files {

struct ExportedText {
    std::string utf8;
    // The text has a lone CR or a lone LF, so its line breaks are written as they are
    // instead of CR LF becoming LF (the folder's notebook.json lists such files).
    bool breaksKept = false;
};
ExportedText ExportText(std::string_view cp1251Text);

// CR LF becomes LF; a lone CR stays.
void DropCrBeforeLf(std::string& text);

// Why a text cannot go into a notebook: the line (from 1) and either the character that
// Windows-1251 (or a section text) cannot hold, or the byte that is not UTF-8.
struct TextProblem {
    std::size_t line = 1;
    bool notUtf8 = false;
    char32_t character = 0;
    unsigned char byte = 0;
};

// A UTF-8 text as a notebook holds it: a leading byte-order mark dropped, and unless
// `breaksKept`, every LF without a CR before it becomes CR LF. Nothing when a character
// cannot be held; `problem` then names the first one.
std::optional<std::string> ImportText(std::string_view utf8, bool breaksKept, TextProblem& problem);

// "where: line N: ..." in words.
std::string DescribeProblem(std::string_view where, const TextProblem& problem, bool withLine = true);

}  // namespace lark::files
