#pragma once
// Replacing a document on disk so that its name never stands empty and nothing another
// opener holds is overwritten.
//
// The new contents go to a temporary file in the target's directory (an unnamed O_TMPFILE
// where the file system has them, else a short name), are flushed, and only then take the
// target's name with one rename. The previous version, when asked for, is kept as a backup
// without moving the document: a hard link (or a copy where links are impossible) under a
// temporary name, renamed onto the backup name just before the new file takes its place.
// A save killed at any moment therefore leaves the old or the new file under the name, and
// a complete backup; temporaries it leaves behind are removed by the next save of the
// same target (each temporary is locked while its writer lives, so no live one is touched).
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "document/file_access.h"

namespace lark {

struct ReplaceOptions {
    // Where the previous version is kept; empty for none. Ignored when the target does not
    // exist yet, and when it names the target itself (a document called notes.bak).
    std::string backupPath;
    // The caller's held document file: its own lock does not count as another opener's,
    // and after success it holds the new file (open for reading and writing, locked).
    DocumentFile* held = nullptr;
    // When set, decides what the backup holds, given the previous version open for reading:
    // other bytes (the backup is then written from them, never a link to that version), or
    // nullopt for the previous version itself.
    std::function<std::optional<TextBuffer>(int fd)> backupBytes = {};
};

// Writes `data` as the new contents of `path`. A symbolic link is followed (the file it
// points to is replaced, the link stays). Refused before anything is written or moved:
// a target another opener holds ("Cannot create file "%s". " + kInUseText), a target that
// is not a regular file (kNotRegularText), a file the user may not write (the system's
// "Permission denied", also for a file without any write permission bit). A write that
// fails reports "Stream write error "%s". " with the system's reason. The replaced file
// keeps its permissions and, where allowed, its owner. The backup is made from the file that
// was checked, never from whatever the name leads to a moment later; a save whose bytes
// equal the held file's leaves an existing backup as it is (it keeps the older version).
// Once the new file has its name the save is done: a failure to flush the directory then
// is returned as a warning ("Stream write error" naming the directory), empty when none.
std::string ReplaceFileContents(const std::string& path, std::string_view data, const ReplaceOptions& options = {});

// 16 hexadecimal digits standing for `name` in file names of our own.
std::string NameHash(std::string_view name);
// The prefix of the temporary names used while replacing the file called `name`.
std::string TemporaryPrefix(std::string_view name);

}  // namespace lark
