#pragma once
// A folder of text files read in as a notebook: the folder form that export writes (with
// its notebook.json) exactly back, or any folder of .txt and .md files and sub-folders,
// ordered by name.
#include <optional>
#include <string>
#include <vector>

#include "document/snapshot.h"

namespace lark::files {

struct ImportedNotebook {
    NotebookSnapshot notebook;         // sections in absolute order, info lines to write
    std::optional<int> selected;       // the section to select, when the folder names one
    bool fromExport = false;           // the folder had a notebook.json
    std::vector<std::string> skipped;  // entries left out (not .txt or .md), relative paths
    std::vector<std::string> links;    // symbolic links, never followed, relative paths
};

// Reads the folder `dir`. Text that a notebook cannot hold (a character Windows-1251
// lacks, bytes that are not UTF-8, a NUL) is refused: LarkError(Encoding) whose message
// names every such file with its line and character, one per line. A damaged notebook.json
// is refused as well, and so is a text too long for one section: a file longer than three
// times the 16,777,215 bytes a section's text may have is refused from its size, unread.
// Symbolic links inside the folder are never followed (`links` names them), so nothing
// outside it is read. Nothing is changed on disk.
ImportedNotebook ImportFolder(const std::string& dir);

}  // namespace lark::files
