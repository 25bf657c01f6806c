#include "search/find_all.h"

#include <algorithm>
#include <vector>

#include "document/cp1251.h"
#include "document/fold_find.h"

namespace lark {

namespace {

// Follows the line breaks of one text forwards, from match to match.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}

    // Moves to `offset` (never backwards); line() and lineStart() then describe its line.
    void advance(std::size_t offset) {
        while (scanned_ < offset) {
            const std::size_t hit = FindEitherByte(text_.data() + scanned_, offset - scanned_, '\r', '\n');
            if (hit == kNotFound) {
                scanned_ = offset;
                break;
            }
            std::size_t next = scanned_ + hit + 1;
            if (text_[next - 1] == '\r' && next < text_.size() && text_[next] == '\n') ++next;
            ++line_;
            lineStart_ = next;
            scanned_ = next;
        }
    }
    int line() const { return line_; }
    // Never beyond the offset last advanced to (a match may start inside a CR LF).
    std::size_t lineStart(std::size_t offset) const { return std::min(lineStart_, offset); }
    // Where the line holding `offset` ends, looking no further than `limit` bytes.
    std::size_t lineEnd(std::size_t offset, std::size_t limit) const {
        const std::size_t span = std::min(limit, text_.size() - offset);
        const std::size_t hit = FindEitherByte(text_.data() + offset, span, '\r', '\n');
        return hit == kNotFound ? offset + span : offset + hit;
    }

private:
    std::string_view text_;
    std::size_t scanned_ = 0;
    std::size_t lineStart_ = 0;
    int line_ = 1;
};

// Fills the snippet of `row` from the line [start, end) of `text` around the match.
void FillSnippet(FindAllRow& row, std::string_view text, std::size_t start, std::size_t end) {
    const std::size_t match = row.offset;
    const std::size_t from = match - std::min(match - start, kSnippetBefore);
    const std::size_t room = std::max(kSnippetMax - (match - from), row.length);
    const std::size_t to = std::min(end, match + room);
    std::string& out = row.snippet;
    out.reserve(to - from + 2);
    if (from > start) out.push_back(kEllipsis);
    row.snippetMatch = out.size() + (match - from);
    for (std::size_t i = from; i < to; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        out.push_back(c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c));
    }
    if (to < end) out.push_back(kEllipsis);
}

// The names of the sections above the current one and its own, kept as the walk goes.
class PathKeeper {
public:
    void enter(int depth, std::string_view name) {
        names_.resize(static_cast<std::size_t>(std::max(depth, 0)));
        names_.push_back(name);
        path_.reset();
    }
    const std::shared_ptr<const std::string>& path() {
        if (!path_) {
            std::string p;
            for (std::size_t k = 0; k < names_.size(); ++k) {
                if (k) p += kPathSeparator;
                nameAt_ = p.size();
                p += names_[k];
            }
            path_ = std::make_shared<const std::string>(std::move(p));
        }
        return path_;
    }
    // Where the last name starts in path() (call path() first).
    std::size_t nameAt() const { return nameAt_; }

private:
    std::vector<std::string_view> names_;
    std::shared_ptr<const std::string> path_;
    std::size_t nameAt_ = 0;
};

}  // namespace

FindAllOutcome FindAll(const NotebookSnapshot& notebook, std::string_view searchText, const FindAllSink& sink,
                       const std::atomic<bool>* stop, std::size_t limit) {
    FindAllOutcome outcome;
    const std::string needle = cp1251::toLower(searchText);
    if (needle.empty()) return outcome;
    const std::size_t m = needle.size();
    auto stopped = [&] { return stop && stop->load(std::memory_order_relaxed); };
    // Hands one row on; false when the search is to end here.
    auto deliver = [&](FindAllRow&& row) {
        if (outcome.rows == limit) {
            outcome.cut = true;
            return false;
        }
        ++outcome.rows;
        if (!sink(std::move(row)) || stopped()) {
            outcome.stopped = true;
            return false;
        }
        return true;
    };

    PathKeeper paths;
    const int count = static_cast<int>(notebook.sections.size());
    for (int i = 0; i < count; ++i) {
        if (stopped()) {
            outcome.stopped = true;
            return outcome;
        }
        const SnapshotSection& section = notebook.sections[static_cast<std::size_t>(i)];
        paths.enter(section.depth, section.name());

        const std::string_view name = section.name();
        if (const std::size_t at = FindFolded(name, needle); at != kNotFound) {
            FindAllRow row;
            row.section = i;
            row.path = paths.path();
            row.nameAt = paths.nameAt();
            row.inName = true;
            row.offset = row.column = at;
            LineCursor cursor(name);
            const std::size_t end = cursor.lineEnd(at, std::string_view::npos);
            row.length = std::min(m, end - at);
            FillSnippet(row, name, 0, end);
            if (!deliver(std::move(row))) return outcome;
        }

        const std::string_view text = section.text();
        LineCursor cursor(text);
        for (std::size_t at = FindFolded(text, needle); at != kNotFound; at = FindFolded(text, needle, at + m)) {
            FindAllRow row;
            row.section = i;
            row.path = paths.path();
            row.nameAt = paths.nameAt();
            row.offset = at;
            cursor.advance(at);
            row.line = cursor.line();
            const std::size_t start = cursor.lineStart(at);
            row.column = at - start;
            // Enough of the line for the match and the snippet after it.
            const std::size_t end = cursor.lineEnd(at, std::max(m, kSnippetMax) + 1);
            row.length = std::min(m, end - at);
            FillSnippet(row, text, start, end);
            if (!deliver(std::move(row))) return outcome;
        }
    }
    return outcome;
}

std::optional<std::string> AskFindAllText(SearchState& state, ISearchPrompt& prompt) {
    std::optional<std::string> answer = prompt.ask(kFindAllCaption, kSearchPromptText, state.FSearchText);
    if (!answer) return std::nullopt;
    if (answer->size() > kSearchTextMax) answer->resize(kSearchTextMax);
    state.FSearchText = *answer;
    return answer;
}

}  // namespace lark
