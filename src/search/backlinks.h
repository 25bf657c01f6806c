#pragma once
// "Ссылки на раздел": the section links in the notebook's texts that a click would take to
// a given section. A link `file://@Name` leads to the last section named exactly Name, so
// only the last section of its name has any; the rows are those of find all (the linking
// section, its path, the line and the line around the link), in the same order.
#include <atomic>
#include <string_view>

#include "search/find_all.h"

namespace lark {

inline constexpr const char* kBacklinksCaption = "Ссылки на раздел";
inline constexpr const char* kNoBacklinksText = "Ссылок на этот раздел нет";

// Every whole link to the section named `name` in the texts of `notebook` (the caller
// checks that the section is the last of that name). Stops as FindAll does.
FindAllOutcome FindLinksTo(const NotebookSnapshot& notebook, std::string_view name, const FindAllSink& sink,
                           const std::atomic<bool>* stop = nullptr, std::size_t limit = kFindAllLimit);

// True when links to `section`'s name lead to it: no later section has the same name.
bool LinksLeadTo(const SectionTree& tree, const Section* section);

}  // namespace lark
