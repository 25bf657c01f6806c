#pragma once
// Three-way merge of one section's text, line by line (libgit2's xdiff merge). Lines end at
// LF; a CR before it is part of the line, so CR LF texts merge byte for byte.
#include <optional>
#include <string>
#include <string_view>

namespace lark::merge {

// The text with both sides' changes applied, or nothing when some lines conflict.
std::optional<std::string> MergeText(std::string_view base, std::string_view ours, std::string_view theirs);

}  // namespace lark::merge
