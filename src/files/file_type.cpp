#include "files/file_type.h"

namespace lark::files {

void RegisterFileType() {
    // Nothing is registered yet; a failure here would be silent anyway.
}

}  // namespace lark::files
