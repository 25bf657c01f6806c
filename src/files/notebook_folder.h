#pragma once
// The folder form of a notebook, as export writes it and import reads it back:
//
//   DIR/notebook.json         info lines, selected section, files that need a word
//   DIR/001 Name.txt          text of the first top-level section (UTF-8, LF)
//   DIR/002 Other.txt         the second one ...
//   DIR/002 Other/001 Sub.txt ... and the folder of its children
//
// notebook.json: {"larkpad_folder": 1, "info": [lines], "selected": index or null,
// "kept_line_breaks": [paths of texts written with their line breaks as they are],
// "names": {path of a file whose name was cut: the whole section name}}. Paths are
// relative to DIR, with "/" between folders.
#include <string_view>

namespace lark::files {

inline constexpr std::string_view kFolderInfoFile = "notebook.json";
inline constexpr const char* kKeyFolder = "larkpad_folder";
inline constexpr const char* kKeyInfo = "info";
inline constexpr const char* kKeySelected = "selected";
inline constexpr const char* kKeyKeptBreaks = "kept_line_breaks";
inline constexpr const char* kKeyNames = "names";
inline constexpr int kFolderVersion = 1;

}  // namespace lark::files
