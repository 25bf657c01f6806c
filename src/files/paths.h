#pragma once
// File-name rules of the document commands. Paths are kept exactly as the user or the
// file system spells them: only the extension is replaced, written in lower case.
#include <QString>

namespace lark::files {

inline constexpr const char* kDocumentExtension = ".lkp";
inline constexpr const char* kBackupExtension = ".bak";
inline constexpr const char* kDefaultDocumentName = "LARKPAD.LKP";

// Replaces the extension of the file-name part (after the last "/") by `extension`:
// everything from its last "." on, or appends it when the name has no ".".
QString ReplaceExtension(const QString& path, const QString& extension);

// The backup of a document: its path with the extension replaced by ".bak".
QString BackupPath(const QString& documentPath);

// The name Save as writes: the chosen path with the extension replaced by ".lkp".
QString SaveAsPath(const QString& chosenPath);

// LARKPAD.LKP in the user's data directory for this program; the directory is created
// when it does not exist yet (an empty string when that fails).
QString DefaultDocumentPath();

}  // namespace lark::files
