#pragma once
// Replace: every match of a string in a text, a section's name, or the whole notebook,
// replaced by another. Matches are found as the global search finds them (left to right,
// each starting where the previous one ended; letter case folded as the global search
// folds it unless it must match). A notebook-wide replace is planned first, without
// touching the notebook, and then carried out in one go: a plan given up halfway leaves
// nothing changed.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document/document.h"
#include "editing/section_history.h"

namespace lark {

inline constexpr const char* kReplaceCaption = "Заменить";

// Where the first match of `find` at or after `from` starts in `text`; kNotFound when
// there is none or `find` is empty.
std::size_t FindMatch(std::string_view text, std::string_view find, bool matchCase, std::size_t from = 0);

// `text` with every match of `find` replaced; `count` gets the number of matches added.
// `text` itself when there is none.
std::string ReplaceMatches(std::string_view text, std::string_view find, std::string_view replacement, bool matchCase,
                           std::size_t& count);

// The first character of `utf8` that Windows-1251 cannot hold (a malformed byte counts as
// one), as it stands in `utf8`; nothing when every character has a byte.
std::optional<std::string> CharOutsideCp1251(std::string_view utf8);
// The refusal naming it (UTF-8).
std::string OutsideCp1251Text(std::string_view character);
// "Заменено: N".
std::string ReplacedCountText(std::size_t count);

struct TextReplaceOptions {
    bool matchCase = false;
    bool names = true;  // section names too, not only the texts
};

// What a notebook-wide replace is going to change.
struct ReplacePlan {
    struct Text {
        Section* section;
        TextBuffer before;  // the buffer the plan was made from
        TextBuffer after;
    };
    struct Name {
        Section* section;
        std::string after;
    };
    std::vector<Text> texts;  // in absolute order
    std::vector<Name> names;  // in absolute order
    std::size_t count = 0;    // matches in all
    std::uint64_t revision = 0;
};

// Told now and then how many bytes of names and texts were searched out of how many;
// returning false gives the plan up.
using ReplaceProgress = std::function<bool(std::size_t done, std::size_t total)>;

// Plans the replace over the stored names and texts. Nothing when `progress` gave it up.
std::optional<ReplacePlan> PlanReplace(const SectionTree& tree, std::string_view find, std::string_view replacement,
                                       const TextReplaceOptions& options, const ReplaceProgress& progress = {});

// Renames a section the way the window renames (links may follow); returns the stored
// texts it rewrote with their buffers from before.
using SectionRenamer = std::function<std::vector<TextChange>(Section* section, std::string name)>;

// Carries out a plan made on this notebook as it still is: the texts, then the names
// through `rename`, as one step of `history`; marks the notebook changed and shows the
// selected section's new text with the cursor where it was. False, changing nothing, when
// the tree or one of the planned texts changed since the plan was made.
bool ApplyReplacePlan(Document& doc, SectionHistory& history, ReplacePlan& plan, const SectionRenamer& rename);

// The whole replace over a notebook, the text in the editor included: stores it, plans
// and applies. The number of matches replaced, or nothing when it was given up.
std::optional<std::size_t> ReplaceInNotebook(Document& doc, SectionHistory& history, std::string_view find,
                                             std::string_view replacement, const TextReplaceOptions& options,
                                             const ReplaceProgress& progress, const SectionRenamer& rename);

}  // namespace lark
