#pragma once
// Small file-system steps of export and import. Failures throw LarkError(System) with the
// path and the system's text.
#include <string>
#include <string_view>

#include "document/unique_fd.h"

namespace lark::files {

// Creates a file that must not exist yet and writes `data` into it.
void WriteNewFile(const std::string& path, std::string_view data);
void MakeFolder(const std::string& path);
// Creates a folder named `prefix` followed by "<process id>-<number>", new, and returns its
// path. `lock` holds an exclusive flock on it while it is being written.
std::string MakeFreshFolder(const std::string& prefix, UniqueFd& lock);
// Removes the folders MakeFreshFolder left in `parent` under `namePrefix` (in the name after
// `parent`'s "/") whose writer is gone: its process no longer runs and nothing holds the lock.
// Never follows links; errors are ignored.
void SweepStaleFolders(const std::string& parent, const std::string& namePrefix);
// Removes a folder and everything in it; symbolic links are removed, never followed.
// Errors are ignored (used to clean up after a failure).
void RemoveTree(const std::string& path);
// What `path` is now.
enum class PathKind { Missing, EmptyFolder, Folder, Other };
PathKind KindOfPath(const std::string& path);
// `path` without trailing slashes ("/" stays).
std::string WithoutTrailingSlash(std::string path);

}  // namespace lark::files
