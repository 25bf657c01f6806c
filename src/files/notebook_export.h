#pragma once
// A notebook written out as a folder of plain UTF-8 text files (see notebook_folder.h).
#include <optional>
#include <string>

#include "document/snapshot.h"

namespace lark::files {

// Writes `notebook` (its sections, its info lines as they are) and the index of the
// selected section as a folder at `dir`. `dir` must not exist or be empty; the folder is
// assembled beside it and takes its name only when complete, so a failure leaves nothing
// behind. Throws LarkError.
void ExportFolder(const NotebookSnapshot& notebook, std::optional<int> selected, const std::string& dir);

}  // namespace lark::files
