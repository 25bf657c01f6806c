#pragma once
// Merging two versions of a notebook that grew apart from a common one (base), section by
// section, losing nothing:
// - a change made on one side only is taken, the same change made on both sides once;
// - sections inserted, deleted, renamed or moved on either side are so in the merge; a
//   section deleted on one side and edited (text or name) on the other is kept, edited, and
//   so is every section that holds a kept one;
// - texts changed on both sides are merged line by line; where lines conflict, ours stays and
//   a sibling "Name (конфликт)" right after it holds their whole text;
// - a name changed differently on both sides keeps ours, the conflict naming theirs;
// - info lines are ours (theirs when only they changed them), the Activate line pointing to
//   the section ours had selected.
// Without a base (two files that were never one), the merge is the union: every section of
// ours, then theirs where no section of ours pairs with it; a paired text that differs is a
// conflict, as above. Unchanged texts share their blocks with the inputs.
#include <string>
#include <vector>

#include "document/snapshot.h"

namespace lark::merge {

struct MergeConflict {
    enum class Kind { Text, Name };
    Kind kind = Kind::Text;
    int section = -1;  // absolute index in the merged notebook of the section holding ours
    int copy = -1;     // index of the "(конфликт)" sibling with their text (Text only)
    std::string path;  // the section's names from the top, joined by " / "
    std::string theirName;
};

struct MergeResult {
    NotebookSnapshot notebook;
    std::vector<MergeConflict> conflicts;
    int changed = 0;  // sections of ours the merge inserted, removed, renamed, moved or rewrote
};

inline constexpr const char* kConflictSuffix = " (\xEA\xEE\xED\xF4\xEB\xE8\xEA\xF2)";  // " (конфликт)" in Windows-1251

MergeResult MergeNotebooks(const NotebookSnapshot& base, const NotebookSnapshot& ours, const NotebookSnapshot& theirs);
MergeResult MergeTwoWay(const NotebookSnapshot& ours, const NotebookSnapshot& theirs);

}  // namespace lark::merge
