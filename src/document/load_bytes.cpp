#include "document/load_bytes.h"

#include "document/document.h"
#include "document/envelope.h"
#include "document/format.h"

namespace lark {

void LoadFromBytes(Document& doc, TextBuffer bytes, bool readOnly, const std::string& path) {
    UnzipBuffer(bytes);
    MemorySource source(bytes.view());
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
    } guard(doc);
    ParseDocument(doc, source, readOnly, path);
}

}  // namespace lark
