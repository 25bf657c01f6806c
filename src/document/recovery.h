#pragma once
// Recovery copies: while a notebook has unsaved changes the window keeps a compressed copy
// of it, as a save would write it, in the user's state directory; after a crash the next
// start offers it back. One copy per notebook path (one for an unnamed notebook).
#include <string>

#include "document/snapshot.h"

namespace lark {

class Document;

// $XDG_STATE_HOME/<program>/recovery (~/.local/state/... when the variable is unset);
// empty when neither that variable nor HOME is set.
std::string RecoveryDirectory(const std::string& program);
// The copy kept for the notebook at `notebookPath` (empty: an unnamed notebook).
std::string RecoveryPathFor(const std::string& directory, const std::string& notebookPath);

// Writes the snapshot, compressed, through the notebook writer and the atomic replace;
// creates the directory (private to the user) when needed. Throws LarkError.
void WriteRecoveryCopy(const NotebookSnapshot& snapshot, const std::string& copyPath);

// Replaces the document's notebook by the copy at `copyPath`, shown under `notebookName`
// and marked changed; the file held open stays the one it was. A copy that cannot be read
// or parsed leaves the document as it was and throws LarkError.
void RestoreRecoveryCopy(Document& doc, const std::string& copyPath, const std::string& notebookName);

// Moves a damaged copy aside (".damaged" added, never over an earlier one); the new name.
std::string SetAsideDamagedCopy(const std::string& copyPath);

}  // namespace lark
