#include "search/backlinks.h"

#include <string>

#include "document/section_tree.h"
#include "search/section_links.h"

namespace lark {

FindAllOutcome FindLinksTo(const NotebookSnapshot& notebook, std::string_view name, const FindAllSink& sink,
                           const std::atomic<bool>* stop, std::size_t limit) {
    std::string link(kSectionLinkPrefix);
    link += name;
    std::size_t kept = 0;
    bool cut = false;
    // Find all gives every place the link's text stands, letter case folded; a row stays
    // when the same bytes stand there and the link detector sees exactly this link.
    FindAllOutcome outcome = FindAll(
        notebook, link,
        [&](FindAllRow&& row) {
            if (row.inName) return true;
            const std::string_view text = notebook.sections[static_cast<std::size_t>(row.section)].text();
            if (text.compare(row.offset, link.size(), link) != 0) return true;
            const std::size_t start = row.offset - row.column;
            const std::size_t end = text.find_first_of("\r\n", row.offset);
            bool whole = false;
            for (const LinkRun& run : FindLinks(text.substr(start, end == std::string_view::npos ? end : end - start)))
                whole = whole || (run.start == row.column && run.length == link.size());
            if (!whole) return true;
            if (kept == limit) {
                cut = true;
                return false;
            }
            ++kept;
            return sink(std::move(row));
        },
        stop, static_cast<std::size_t>(-1));
    outcome.rows = kept;
    outcome.cut = cut;
    if (cut) outcome.stopped = false;
    return outcome;
}

bool LinksLeadTo(const SectionTree& tree, const Section* section) {
    if (!section) return false;
    const Section* last = nullptr;
    tree.forEachInOrder([&](Section& s, int) {
        if (s.name() == section->name()) last = &s;
        return true;
    });
    return last == section;
}

}  // namespace lark
