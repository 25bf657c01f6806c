#pragma once
// Section links that follow a rename. A link `file://@Name` takes a click to the last
// section named Name in absolute order; when that section is renamed, such links would
// lead nowhere (or elsewhere). These find them and write them anew under the new name.
#include <cstddef>
#include <string_view>
#include <vector>

#include "document/section_tree.h"

namespace lark {

struct SectionLinkPlace {
    Section* section;  // whose stored text holds the link
    std::size_t start;
    std::size_t length;
};

// The links in the stored texts that lead to `target` now and that can follow it to
// `newName`, in absolute order of their sections and in text order within one. None when
// the links lead to another section of the same name, when another section already has
// `newName` (a link to it would lead there), or when `newName` cannot be a whole link (a
// blank or another character that ends one).
std::vector<SectionLinkPlace> LinksFollowingRename(const SectionTree& tree, const Section* target,
                                                   std::string_view newName);

// Writes every place as a link to `newName`; each section's text gets a new buffer.
void RewriteSectionLinks(const std::vector<SectionLinkPlace>& places, std::string_view newName);

}  // namespace lark
