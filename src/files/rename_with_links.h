#pragma once
// A rename that the links to the section follow: when stored texts hold links that lead
// to the section under its old name, the user is asked whether they should lead to it
// under the new one.
#include <string>

#include <vector>

#include "document/document.h"
#include "editing/section_history.h"

namespace lark::files {

// The question, with the number of links it would change.
std::string UpdateLinksQuestion(std::size_t count);

// Commits `name` for `section` as the name editor does, then offers to rewrite the links.
// Returns the stored texts it rewrote, with their buffers from before.
std::vector<TextChange> RenameFollowingLinks(Document& doc, Section* section, std::string name);

}  // namespace lark::files
