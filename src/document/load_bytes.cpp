#include "document/load_bytes.h"

#include "document/document.h"
#include "document/envelope.h"
#include "document/file_access.h"
#include "document/format.h"

namespace lark {

namespace {

// FUpdating set and the tree in one bulk update while the parse runs.
struct Updating {
    Document& d;
    explicit Updating(Document& doc) : d(doc) {
        d.FUpdating = true;
        d.tree().beginUpdate();
    }
    ~Updating() {
        d.tree().endUpdate();
        d.FUpdating = false;
    }
};

}  // namespace

void LoadFromBytes(Document& doc, TextBuffer bytes, bool readOnly, const std::string& path) {
    if (IsEnveloped(bytes.view())) {
        // Unpacked block by block; the packed bytes go as soon as that is done.
        BlockSource source = UnzipToBlocks(bytes.view());
        bytes.reset();
        Updating guard(doc);
        ParseDocument(doc, source, readOnly, path);
        return;
    }
    MemorySource source(bytes.view());
    Updating guard(doc);
    ParseDocument(doc, source, readOnly, path);
}

void LoadFromFile(Document& doc, int fd, std::int64_t size, bool readOnly, const std::string& path, bool* enveloped) {
    char head[8];
    bool zipped = false;
    if (size >= 8) {
        readExactly(fd, head, 8, 0);
        zipped = IsEnveloped(std::string_view(head, 8));
    }
    if (enveloped) *enveloped = zipped;
    if (zipped) {
        BlockSource source = UnzipFileToBlocks(fd, size);
        Updating guard(doc);
        ParseDocument(doc, source, readOnly, path);
    } else {
        FileSource source(fd, size);
        Updating guard(doc);
        ParseDocument(doc, source, readOnly, path);
    }
}

}  // namespace lark
