#include "document/recovery.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/file_replace.h"
#include "document/load_bytes.h"
#include "document/memory_view.h"

namespace lark {
namespace {

void makeDirectories(const std::string& path) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            throw LarkError(systemErrorText(errno), ErrorKind::System, errno);
        if (slash == std::string::npos) return;
    }
}

}  // namespace

std::string RecoveryDirectory(const std::string& program) {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') base = state;
    else if (const char* home = std::getenv("HOME"); home && *home) base = std::string(home) + "/.local/state";
    else return {};
    return base + "/" + program + "/recovery";
}

std::string RecoveryPathFor(const std::string& directory, const std::string& notebookPath) {
    if (notebookPath.empty()) return directory + "/unnamed.lkp";
    return directory + "/" + NameHash(notebookPath) + ".lkp";
}

void WriteRecoveryCopy(const NotebookSnapshot& snapshot, const std::string& copyPath) {
    const auto slash = copyPath.rfind('/');
    if (slash != std::string::npos && slash > 0) makeDirectories(copyPath.substr(0, slash));
    const TextBuffer packed = ZipDocument(snapshot);
    ReplaceFileContents(copyPath, packed.view());
}

void RestoreRecoveryCopy(Document& doc, const std::string& copyPath, const std::string& notebookName) {
    TextBuffer bytes = ReadFileUnlocked(copyPath);
    // Read once aside, so that a damaged copy never touches the notebook on screen.
    {
        MemoryTreeView view;
        MemoryEditor editor;
        MemoryUi ui;
        Document trial(view, editor, ui);
        TextBuffer probe = bytes.share();
        UnzipBuffer(probe);
        if (probe.size() < 8 || probe.view().substr(0, 4) != std::string_view("LKP\x01", 4))
            throw LarkError("Not a notebook", ErrorKind::Format);
        LoadFromBytes(trial, std::move(probe), false, copyPath);
        if (!ui.errors.empty()) throw LarkError(ui.errors.front(), ErrorKind::Format);
    }
    LoadFromBytes(doc, std::move(bytes), false, copyPath);
    doc.view().showSelection(doc.selected());
    doc.tvNodesChange(false);
    doc.FFileName = notebookName;
    doc.FTreeModified = true;
}

std::string SetAsideDamagedCopy(const std::string& copyPath) {
    std::string aside = copyPath + ".damaged";
    for (int n = 2; FileExists(aside) && n < 1000; ++n) aside = copyPath + ".damaged" + std::to_string(n);
    if (std::rename(copyPath.c_str(), aside.c_str()) != 0)
        throw LarkError(systemErrorText(errno), ErrorKind::System, errno);
    return aside;
}

}  // namespace lark
