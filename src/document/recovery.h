#pragma once
// Recovery copies: while a notebook has unsaved changes the window keeps a compressed copy
// of it, as a save would write it, in the user's state directory; after a crash the next
// start offers it back. One copy per notebook (by its canonical absolute path); unnamed
// notebooks get one each. Beside the copies of a named notebook, "<hash>.name" holds that
// path, so that copies whose notebook has gone can still be offered.
//
// Everything in the recovery folder is reached through the folder's descriptor and never
// through a symbolic link: an entry under a copy's name that is not a regular file (a link,
// a FIFO, a folder) is never read, written through or offered; it is set aside as
// "<name>.refused".
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "document/seal_key.h"
#include "document/snapshot.h"
#include "document/unique_fd.h"

namespace lark {

class Document;

// $XDG_STATE_HOME/<program>/recovery (~/.local/state/... when the variable is unset);
// empty when neither that variable nor HOME is set.
std::string RecoveryDirectory(const std::string& program);
// `path` made absolute against the working folder, its links and "."/".." resolved; a
// missing file keeps its own name under its resolved folder. Copies are keyed by it, so a
// notebook named relatively in one folder is never taken for one of another folder.
std::string CanonicalNotebookPath(const std::string& path);

// The first copy kept for the notebook at `notebookPath` (empty: an unnamed notebook).
std::string RecoveryPathFor(const std::string& directory, const std::string& notebookPath);

// A window's hold on one recovery copy. While a window holds it, no other window writes,
// offers or deletes that copy; a window that crashed holds nothing. Held as a lock on one
// byte of the directory's ".owners" file (a byte for every copy name).
class RecoveryClaim {
public:
    RecoveryClaim() = default;
    RecoveryClaim(RecoveryClaim&& other) noexcept
        : fd_(std::move(other.fd_)), path_(std::exchange(other.path_, std::string())) {}
    RecoveryClaim& operator=(RecoveryClaim&& other) noexcept {
        fd_ = std::move(other.fd_);
        path_ = std::exchange(other.path_, std::string());
        return *this;
    }
    RecoveryClaim(const RecoveryClaim&) = delete;
    RecoveryClaim& operator=(const RecoveryClaim&) = delete;
    ~RecoveryClaim() = default;

    // The claim on `copyPath` (the directory is made when missing); an empty claim when
    // another window holds it. Where the file system has no such locks, the claim is held
    // without keeping other windows off (copies are still written, as they were before
    // there were claims).
    static RecoveryClaim take(const std::string& copyPath);
    bool held() const { return !path_.empty(); }
    const std::string& copyPath() const { return path_; }

private:
    UniqueFd fd_;  // holds the lock; none where locks cannot be had
    std::string path_;
};

// The copies kept for the notebook at `notebookPath` (empty: unnamed notebooks) in
// `directory`: its first copy's path first, then the copies of further windows
// ("-2", "-3" before the extension) in order. Only regular files are listed: anything else
// under a copy's name is set aside.
std::vector<std::string> RecoveryCopiesFor(const std::string& directory, const std::string& notebookPath);
// A claim on a new copy for the notebook at `notebookPath`: one that no window holds and
// that does not exist yet (a copy that exists belongs to a window still running, or to one
// that crashed and waits to be offered at a start).
RecoveryClaim ClaimNewRecoveryCopy(const std::string& directory, const std::string& notebookPath);

// Writes the snapshot, compressed, under a temporary name in the folder, then renames it
// over the copy; creates the folder (private to the user) when needed. `notebookPath`
// (non-empty for a named notebook) is recorded beside the copy. A sealed notebook's copy is
// sealed with its key (`key`), compressed inside. Throws LarkError.
void WriteRecoveryCopy(const NotebookSnapshot& snapshot, const std::string& copyPath,
                       const std::string& notebookPath = {}, const SealKey* key = nullptr);

// Removes a copy (never what a link there names); its notebook's recorded path goes with
// the last copy of that notebook. False when nothing was removed.
bool RemoveRecoveryCopy(const std::string& copyPath);

// A copy whose notebook is no longer where it was.
struct OrphanedCopy {
    std::string notebookPath;  // where the notebook was
    std::string copyPath;
};
// The copies in `directory` whose recorded notebook path names nothing now.
std::vector<OrphanedCopy> OrphanedRecoveryCopies(const std::string& directory);

// Replaces the document's notebook by the copy at `copyPath`, shown under `notebookName`
// and marked changed; the file held open stays the one it was. A copy that cannot be read
// or parsed, or is not a regular file, leaves the document as it was and throws LarkError.
// A sealed copy needs its notebook's key (NeedsPassword without one, Sealed for a wrong one)
// and leaves the document sealed with it.
void RestoreRecoveryCopy(Document& doc, const std::string& copyPath, const std::string& notebookName,
                         const std::shared_ptr<const SealKey>& key = {});
// The key-derivation parameters of a sealed copy; nullopt for a copy that is not sealed.
// Throws LarkError for a copy that cannot be read or whose header is refused.
std::optional<SealParams> RecoveryCopySealParams(const std::string& copyPath);

// Moves a damaged copy aside (".damaged" added, never over an earlier one); the new name.
std::string SetAsideDamagedCopy(const std::string& copyPath);

}  // namespace lark
