#include "cli/notebook_loader.h"

#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/load_bytes.h"

namespace lark::cli {

std::unique_ptr<LoadedNotebook> LoadNotebook(const std::string& path) {
    auto nb = std::make_unique<LoadedNotebook>();
    TextBuffer bytes = ReadFileUnlocked(path);
    nb->enveloped = IsEnveloped(bytes.view());
    try {
        LoadFromBytes(nb->doc, std::move(bytes), true, path);
    } catch (const LarkError& e) {
        if (e.kind() != ErrorKind::Format) throw;
        nb->error = e.what();
    }
    return nb;
}

}  // namespace lark::cli
