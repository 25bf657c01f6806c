#include "files/rename_with_links.h"

#include <algorithm>

#include "editing/section_commands.h"
#include "search/link_rename.h"

namespace lark::files {

std::string UpdateLinksQuestion(std::size_t count) {
    return "Обновить ссылки на этот раздел (" + std::to_string(count) + ")?";
}

std::vector<TextChange> RenameFollowingLinks(Document& doc, Section* section, std::string name) {
    std::vector<TextChange> changed;
    if (!section) return changed;
    // The text in the editor counts as stored: its links follow too.
    if (doc.selected()) doc.tvNodesChanging(false);
    const std::vector<SectionLinkPlace> places =
        LinksFollowingRename(doc.tree(), section, Document::SanitizeSectionName(name));
    CommitRename(doc, section, std::move(name));
    if (places.empty() || !doc.ui().confirm(UpdateLinksQuestion(places.size()))) return changed;
    Section* shown = doc.selected();
    const bool shownChanges = shown && std::any_of(places.begin(), places.end(),
                                                   [&](const SectionLinkPlace& p) { return p.section == shown; });
    const std::size_t cursor = doc.editor().selectionStart();
    for (const SectionLinkPlace& p : places) {
        if (!changed.empty() && changed.back().section == p.section) continue;  // places come section by section
        const TNodeContent* content = p.section->content();
        changed.push_back({p.section, content ? content->Text.share() : TextBuffer()});
    }
    RewriteSectionLinks(places, section->name());
    doc.tvNodesEdited();
    if (shownChanges) {
        // The shown text is the stored one again, with the cursor where it was (or at the
        // end when the text got shorter).
        doc.tvNodesChange(false);
        doc.editor().select(std::min(cursor, shown->text().size()), 0);
    }
    return changed;
}

}  // namespace lark::files
