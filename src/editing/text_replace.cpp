#include "editing/text_replace.h"

#include <algorithm>
#include <utility>

#include "document/cp1251.h"
#include "document/fold_find.h"

namespace lark {

std::size_t FindMatch(std::string_view text, std::string_view find, bool matchCase, std::size_t from) {
    if (find.empty() || from > text.size()) return kNotFound;
    if (!matchCase) return FindFolded(text, find, from);
    const std::size_t p = text.find(find, from);
    return p == std::string_view::npos ? kNotFound : p;
}

namespace {

// The text with every match replaced, built straight into its buffer: the matches are
// found once, starting from `first`, and the new size is known before anything is copied.
TextBuffer ReplacedText(std::string_view text, std::size_t first, std::string_view find, std::string_view replacement,
                        bool matchCase, std::vector<std::size_t>& at, std::size_t& count) {
    at.clear();
    for (std::size_t p = first; p != kNotFound; p = FindMatch(text, find, matchCase, p + find.size())) at.push_back(p);
    count += at.size();
    TextBuffer out = TextBuffer::allocate(text.size() - at.size() * find.size() + at.size() * replacement.size());
    char* w = out.data();
    std::size_t from = 0;
    for (const std::size_t p : at) {
        w = std::copy(text.data() + from, text.data() + p, w);
        w = std::copy(replacement.begin(), replacement.end(), w);
        from = p + find.size();
    }
    std::copy(text.data() + from, text.data() + text.size(), w);
    return out;
}

}  // namespace

std::string ReplaceMatches(std::string_view text, std::string_view find, std::string_view replacement, bool matchCase,
                           std::size_t& count) {
    const std::size_t first = FindMatch(text, find, matchCase);
    if (first == kNotFound) return std::string(text);
    std::vector<std::size_t> at;
    return std::string(ReplacedText(text, first, find, replacement, matchCase, at, count).view());
}

std::optional<std::string> CharOutsideCp1251(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = lead < 0xC0 || lead >= 0xF8 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        for (std::size_t k = 1; k < length; ++k)
            if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xC0) != 0x80) length = 1;
        const std::string_view one = utf8.substr(i, length);
        if (!cp1251::fromUtf8(one)) return std::string(one);
        i += one.size();
    }
    return std::nullopt;
}

std::string OutsideCp1251Text(std::string_view character) {
    return "Символ «" + std::string(character) + "» нельзя записать в кодировке Windows-1251: замена не выполнена";
}

std::string ReplacedCountText(std::size_t count) { return "Заменено: " + std::to_string(count); }

std::optional<ReplacePlan> PlanReplace(const SectionTree& tree, std::string_view find, std::string_view replacement,
                                       const TextReplaceOptions& options, const ReplaceProgress& progress) {
    ReplacePlan plan;
    plan.revision = tree.revision();
    if (find.empty()) return plan;
    std::size_t total = 0;
    if (progress) {
        tree.forEachInOrder([&](const Section& s, int) {
            total += s.text().size() + (options.names ? s.name().size() : 0);
            return true;
        });
    }
    // A replacement of the same bytes as every match changes nothing; only then is it compared.
    const bool mayKeep = replacement.size() == find.size();
    constexpr std::size_t kProgressStep = std::size_t{1} << 20;
    std::size_t done = 0, reported = 0;
    bool stopped = false;
    std::vector<std::size_t> at;
    tree.forEachInOrder([&](Section& s, int) {
        if (options.names) {
            const std::string_view name = s.name();
            done += name.size();
            if (FindMatch(name, find, options.matchCase) != kNotFound) {
                std::string after = ReplaceMatches(name, find, replacement, options.matchCase, plan.count);
                if (after != name) plan.names.push_back({&s, std::move(after)});
            }
        }
        const std::string_view text = s.text();
        done += text.size();
        if (const std::size_t first = FindMatch(text, find, options.matchCase); first != kNotFound && s.content()) {
            TextBuffer after = ReplacedText(text, first, find, replacement, options.matchCase, at, plan.count);
            if (!mayKeep || after.view() != text)
                plan.texts.push_back({&s, s.content()->Text.share(), std::move(after)});
        }
        if (progress && done - reported >= kProgressStep) {
            reported = done;
            if (!progress(done, total)) stopped = true;
        }
        return !stopped;
    });
    if (stopped || (progress && !progress(total, total))) return std::nullopt;
    return plan;
}

bool ApplyReplacePlan(Document& doc, SectionHistory& history, ReplacePlan& plan, const SectionRenamer& rename) {
    if (doc.tree().revision() != plan.revision) return false;
    for (const ReplacePlan::Text& t : plan.texts) {
        const TextBuffer& now = t.section->content()->Text;
        if (now.data() != t.before.data() || now.size() != t.before.size()) return false;
    }
    if (plan.texts.empty() && plan.names.empty()) return true;
    Section* shown = doc.selected();
    const std::size_t cursor = doc.editor().selectionStart();
    bool shownChanged = false;
    history.runBatch(doc, [&] {
        BatchChanges changes;
        for (ReplacePlan::Text& t : plan.texts) {
            TNodeContent* content = t.section->content();
            changes.texts.push_back({t.section, std::move(content->Text)});
            content->Text = std::move(t.after);
            shownChanged = shownChanged || t.section == shown;
        }
        if (!plan.texts.empty()) doc.setTreeModified(true);
        for (ReplacePlan::Name& n : plan.names) {
            changes.names.push_back({n.section, std::string(n.section->name())});
            for (TextChange& c : rename(n.section, std::move(n.after))) {
                shownChanged = shownChanged || c.section == shown;
                changes.texts.push_back(std::move(c));
            }
        }
        return changes;
    });
    if (shown && shownChanged) {
        doc.tvNodesChange(false);
        doc.editor().select(std::min(cursor, shown->text().size()), 0);
    }
    return true;
}

std::optional<std::size_t> ReplaceInNotebook(Document& doc, SectionHistory& history, std::string_view find,
                                             std::string_view replacement, const TextReplaceOptions& options,
                                             const ReplaceProgress& progress, const SectionRenamer& rename) {
    // The text in the editor counts as stored: it is replaced along with the others.
    if (doc.selected()) doc.tvNodesChanging(false);
    std::optional<ReplacePlan> plan = PlanReplace(doc.tree(), find, replacement, options, progress);
    if (!plan || !ApplyReplacePlan(doc, history, *plan, rename)) return std::nullopt;
    return plan->count;
}

}  // namespace lark
