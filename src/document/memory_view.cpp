#include "document/memory_view.h"

#include "document/file_access.h"

namespace lark {

void MemoryEditor::loadFile(const std::string& path) {
    const ByteBuffer bytes = lockOnLoad ? ReadFileShared(path) : ReadFileUnlocked(path);
    setText(bytes.view());
}

}  // namespace lark
