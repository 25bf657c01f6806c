#include "search/section_links.h"

#include "document/cp1251.h"

namespace lark {

bool SelectNodeByName(Document& doc, std::string_view name) {
    SectionTree& tree = doc.tree();
    bool found = false;
    // The tree may change under the selection steps only through their own stores, which
    // do not add or remove sections; the count is still re-read at every step.
    auto nameAt = [&](int i) -> std::optional<std::string_view> {
        if (i < tree.count()) return tree.at(i)->name();
        return std::nullopt;
    };
    ForEachSectionNamed(nameAt, name, [&](int i) {
        doc.SelectSection(tree.at(i));
        found = true;
    });
    return found;
}

std::string SectionNotFoundText(std::string_view name) {
    return "Раздел \"" + cp1251::toUtf8(name) + "\" не найден\r\n(поиск с учётом регистра)";
}

LinkAction EditorLinkClick(Document& doc, std::string_view linkText) {
    if (!linkText.starts_with(kSectionLinkPrefix)) return LinkAction::OpenExternally;
    const std::string_view name = linkText.substr(kSectionLinkPrefix.size());
    if (SelectNodeByName(doc, name)) return LinkAction::SectionSelected;
    doc.ui().showError(SectionNotFoundText(name));
    return LinkAction::SectionNotFound;
}

namespace {

bool isWordByte(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_') return true;
    // Russian letters of Windows-1251: А..я, Ё, ё.
    return c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

bool endsLink(unsigned char c) {
    switch (c) {
    case '<':
    case '>':
    case '"':
    case '\'':
    case 0xAB:
    case 0xBB:  // « »
    case 0x93:
    case 0x94:
    case 0x84:  // “ ” „
    case 0xA0:  // no-break space
    case 0x7F: return true;
    default: return c <= ' ';
    }
}

// Length of the scheme that starts at text[i], or 0. ASCII letter case is ignored.
std::size_t schemeAt(std::string_view text, std::size_t i) {
    static constexpr std::string_view kSchemes[] = {"http://", "https://", "ftp://", "file://", "mailto:", "www."};
    for (std::string_view scheme : kSchemes) {
        if (text.size() - i < scheme.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < scheme.size() && same; ++k) {
            char c = text[i + k];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            same = c == scheme[k];
        }
        if (same) return scheme.size();
    }
    return 0;
}

// Drops trailing punctuation that rather belongs to the sentence than to the link.
std::size_t trimmedEnd(std::string_view text, std::size_t start, std::size_t end, std::size_t minEnd) {
    while (end > minEnd) {
        const char c = text[end - 1];
        if (c == '.' || c == ',' || c == ';' || c == ':' || c == '!' || c == '?') {
            --end;
            continue;
        }
        const char open = c == ')' ? '(' : c == ']' ? '[' : c == '}' ? '{' : 0;
        if (!open) break;
        int balance = 0;
        for (std::size_t k = start; k < end; ++k) {
            if (text[k] == open) ++balance;
            else if (text[k] == c) --balance;
        }
        if (balance >= 0) break;  // the closing bracket has its partner inside
        --end;
    }
    return end;
}

}  // namespace

std::vector<LinkRun> FindLinks(std::string_view text) {
    std::vector<LinkRun> runs;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        // Every scheme starts with one of these letters.
        const bool candidate =
            c == 'h' || c == 'H' || c == 'f' || c == 'F' || c == 'm' || c == 'M' || c == 'w' || c == 'W';
        const std::size_t scheme =
            candidate && (i == 0 || !isWordByte(static_cast<unsigned char>(text[i - 1]))) ? schemeAt(text, i) : 0;
        if (!scheme) {
            ++i;
            continue;
        }
        std::size_t end = i + scheme;
        while (end < text.size() && !endsLink(static_cast<unsigned char>(text[end]))) ++end;
        const bool sectionLink = text.substr(i, end - i).starts_with(kSectionLinkPrefix);
        const std::size_t minEnd = i + scheme + (sectionLink ? 1 : 0);
        end = trimmedEnd(text, i, end, minEnd);
        if (sectionLink || end > i + scheme) {
            runs.push_back({i, end - i});
            i = end;
        } else {
            i += scheme;
        }
    }
    return runs;
}

}  // namespace lark
