#include "document/load_bytes.h"

#include "document/document.h"
#include "document/envelope.h"
#include "document/errors.h"
#include "document/file_access.h"
#include "document/format.h"
#include "document/sealed_envelope.h"

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

// The notebook keeps the key of the content it came from, whatever the parse makes of it.
struct KeepKey {
    Document& d;
    const std::shared_ptr<const SealKey>& k;
    ~KeepKey() { d.sealKey = k; }
};

TextBuffer unsealed(TextBuffer bytes, const std::shared_ptr<const SealKey>& key) {
    if (!key) throw LarkError(kSealNeedsPasswordText, ErrorKind::NeedsPassword);
    return UnsealBytes(bytes.view(), *key);
}

void LoadFromBytes(Document& doc, TextBuffer bytes, bool readOnly, const std::string& path,
                   const std::shared_ptr<const SealKey>& key) {
    if (IsSealed(bytes.view())) {
        TextBuffer content = unsealed(std::move(bytes), key);
        KeepKey keep{doc, key};
        LoadFromBytes(doc, std::move(content), readOnly, path);
        return;
    }
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

void LoadFromFile(Document& doc, int fd, std::int64_t size, bool readOnly, const std::string& path, bool* enveloped,
                  const std::shared_ptr<const SealKey>& key, bool* sealed) {
    char head[8];
    bool zipped = false;
    if (size >= 8) {
        readExactly(fd, head, 8, 0);
        zipped = IsEnveloped(std::string_view(head, 8));
        if (IsSealed(std::string_view(head, 8))) {
            if (sealed) *sealed = true;
            if (!key) throw LarkError(kSealNeedsPasswordText, ErrorKind::NeedsPassword);
            TextBuffer content = UnsealFile(fd, size, *key);
            if (enveloped) *enveloped = IsEnveloped(content.view());
            KeepKey keep{doc, key};
            LoadFromBytes(doc, std::move(content), readOnly, path);
            return;
        }
    }
    if (sealed) *sealed = false;
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
