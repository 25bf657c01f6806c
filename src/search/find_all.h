#pragma once
// Find all: every match of a string in the notebook, in the order the global search
// visits them (for each section in absolute order: its name, then each match in its text,
// a match starting where the previous one ended), letter case folded as the global search
// folds it. Works on a snapshot, so that it may run on a worker thread while the window
// goes on; rows go to a sink as they are found, and a flag the caller sets stops it.
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "document/snapshot.h"
#include "search/text_search.h"

namespace lark {

inline constexpr const char* kFindAllCaption = "Найти все";
// No more rows than this are listed.
inline constexpr std::size_t kFindAllLimit = 100000;
// Between the names of a section's path.
inline constexpr std::string_view kPathSeparator = " / ";
// A snippet shows at most this many bytes of the line before the match, and at most
// kSnippetMax bytes in all (the match itself is never shortened below its line).
inline constexpr std::size_t kSnippetBefore = 40;
inline constexpr std::size_t kSnippetMax = 160;
// Marks a snippet cut short of its line's start or end (Windows-1251 "…").
inline constexpr char kEllipsis = '\x85';

// One match. Lines are counted as the editor shows them: CR LF, a lone CR and a lone LF
// each end one.
struct FindAllRow {
    int section = 0;                          // absolute index in the searched notebook
    std::shared_ptr<const std::string> path;  // the names from the top down, kPathSeparator between
    std::size_t nameAt = 0;                   // where the section's own name starts in path
    bool inName = false;                      // the match is in the section's name
    int line = 0;                             // 1-based line of the text; 0 for a name match
    std::size_t offset = 0;                   // where the match starts in the text (or the name)
    std::size_t column = 0;                   // where it starts in its line
    std::size_t length = 0;                   // its bytes within that line
    std::string snippet;                      // the line around the match; control bytes as blanks
    std::size_t snippetMatch = 0;             // where the match starts in the snippet
};

struct FindAllOutcome {
    std::size_t rows = 0;  // rows handed to the sink
    bool cut = false;      // there were more matches than the limit
    bool stopped = false;  // the flag or the sink ended the search early
};

// Takes each row as it is found; returning false stops the search.
using FindAllSink = std::function<bool(FindAllRow&& row)>;

// Searches `notebook` for `searchText` (Windows-1251). An empty string is found nowhere.
// `stop`, when given, is read between matches and sections.
FindAllOutcome FindAll(const NotebookSnapshot& notebook, std::string_view searchText, const FindAllSink& sink,
                       const std::atomic<bool>* stop = nullptr, std::size_t limit = kFindAllLimit);

// The input box of find all, asked as the global search asks: pre-filled with the last
// search string, which a confirmed answer (cut to kSearchTextMax) replaces. Nothing when
// the user cancels.
std::optional<std::string> AskFindAllText(SearchState& state, ISearchPrompt& prompt);

}  // namespace lark
