#include "search/link_rename.h"

#include <string>

#include "search/section_links.h"

namespace lark {

namespace {

std::string linkTo(std::string_view name) {
    std::string link(kSectionLinkPrefix);
    link += name;
    return link;
}

// True when `link` is found as one link over its whole length.
bool wholeLink(std::string_view link) {
    const std::vector<LinkRun> runs = FindLinks(link);
    return runs.size() == 1 && runs.front().start == 0 && runs.front().length == link.size();
}

}  // namespace

std::vector<SectionLinkPlace> LinksFollowingRename(const SectionTree& tree, const Section* target,
                                                   std::string_view newName) {
    std::vector<SectionLinkPlace> places;
    if (!target || newName == target->name()) return places;
    const std::string oldLink = linkTo(target->name());
    if (!wholeLink(oldLink) || !wholeLink(linkTo(newName))) return places;
    // Where a click on the old link goes now, and whether the new name is taken.
    const Section* leadsTo = nullptr;
    bool taken = false;
    tree.forEachInOrder([&](const Section& s, int) {
        if (s.name() == target->name()) leadsTo = &s;
        if (&s != target && s.name() == newName) taken = true;
        return true;
    });
    if (leadsTo != target || taken) return places;
    tree.forEachInOrder([&](Section& s, int) {
        const std::string_view text = s.text();
        // Cheap test first: most texts hold no link to this name at all.
        if (text.find(oldLink) == std::string_view::npos) return true;
        for (const LinkRun& run : FindLinks(text))
            if (text.substr(run.start, run.length) == oldLink) places.push_back({&s, run.start, run.length});
        return true;
    });
    return places;
}

void RewriteSectionLinks(const std::vector<SectionLinkPlace>& places, std::string_view newName) {
    const std::string link = linkTo(newName);
    for (std::size_t i = 0; i < places.size();) {
        Section* section = places[i].section;
        TNodeContent* content = section->content();
        const std::string_view old = section->text();
        std::string text;
        text.reserve(old.size() + link.size());
        std::size_t from = 0;
        for (; i < places.size() && places[i].section == section; ++i) {
            text.append(old.substr(from, places[i].start - from)).append(link);
            from = places[i].start + places[i].length;
        }
        text.append(old.substr(from));
        if (content) content->Text = TextBuffer::copyOf(text);
    }
}

}  // namespace lark
