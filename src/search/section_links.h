#pragma once
// Links in section texts: where they are, and what a click on one does. A link that
// starts with "file://@" names a section; every other link is for the desktop to open.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"

namespace lark {

inline constexpr std::string_view kSectionLinkPrefix = "file://@";

// The resolution of a section link: visits, in absolute order, every section whose name
// is exactly `name` (same bytes, letter case significant). `nameAt(i)` gives the name of
// section i, or nothing past the last section (asked again at every step, so
// the walk sees sections the visits add); `visit(i)` is called for each match.
template <class NameAt, class Visit>
void ForEachSectionNamed(NameAt&& nameAt, std::string_view name, Visit&& visit) {
    for (int i = 0;; ++i) {
        const std::optional<std::string_view> sectionName = nameAt(i);
        if (!sectionName) return;
        if (*sectionName == name) visit(i);
    }
}

// The section a click on a link to `name` ends up selecting: the last one of that name in
// absolute order; -1 when no section has it.
template <class NameAt>
int SectionLinkTarget(NameAt&& nameAt, std::string_view name) {
    int target = -1;
    ForEachSectionNamed(nameAt, name, [&](int i) { target = i; });
    return target;
}

// Selects every section named exactly `name` (same bytes, letter case significant) in
// absolute order, so that the last of equal names ends up selected. True when any had it.
bool SelectNodeByName(Document& doc, std::string_view name);

enum class LinkAction {
    SectionSelected,  // a section link whose section is now selected
    SectionNotFound,  // a section link to a missing name; the error box was shown
    OpenExternally,   // not a section link: the window hands the text to the desktop
};

// A left-button press on a link whose text (Windows-1251) is `linkText`.
LinkAction EditorLinkClick(Document& doc, std::string_view linkText);

// The error text for a section link to a name no section has (UTF-8).
std::string SectionNotFoundText(std::string_view name);

// A run of link text in a line: [start, start + length).
struct LinkRun {
    std::size_t start;
    std::size_t length;
    bool operator==(const LinkRun&) const = default;
};

// Finds the links in `text` (Windows-1251; one byte per character, so the positions are
// also those of the same text in UTF-16). A link starts with http://, https://, ftp://,
// file://, mailto: (letter case ignored) or www., not preceded by a letter or digit, and
// needs at least one character after its start, except "file://@", which stands for a
// section with an empty name. It ends before the first blank, control character or one
// of < > " ' « » “ ” „; then trailing . , ; : ! ? are dropped, and a closing ) ] } that
// has no opening partner inside the link.
std::vector<LinkRun> FindLinks(std::string_view text);

}  // namespace lark
