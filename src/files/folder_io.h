#pragma once
// Small file-system steps of export and import. Failures throw LarkError(System) with the
// path and the system's text.
#include <string>
#include <string_view>

namespace lark::files {

// Creates a file that must not exist yet and writes `data` into it.
void WriteNewFile(const std::string& path, std::string_view data);
void MakeFolder(const std::string& path);
// Creates a folder named `prefix` followed by a few characters that make it new; returns
// its path.
std::string MakeFreshFolder(const std::string& prefix);
// Removes a folder and everything in it; symbolic links are removed, never followed.
// Errors are ignored (used to clean up after a failure).
void RemoveTree(const std::string& path);
// What `path` is now.
enum class PathKind { Missing, EmptyFolder, Folder, Other };
PathKind KindOfPath(const std::string& path);
// `path` without trailing slashes ("/" stays).
std::string WithoutTrailingSlash(std::string path);

}  // namespace lark::files
