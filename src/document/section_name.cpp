#include "document/section_name.h"

#include <stdexcept>

namespace lark {

void SectionName::assign(std::string_view name) {
    // Copied out before the old name is released: `name` may be a view of it.
    if (name.size() <= kShortMax) {
        unsigned char copy[kShortMax];
        if (!name.empty()) std::memcpy(copy, name.data(), name.size());
        release();
        if (!name.empty()) std::memcpy(bytes_, copy, name.size());
        setShort(name.size());
        return;
    }
    if (name.size() > UINT32_MAX) throw std::length_error("section name too long");
    char* text = new char[name.size()];
    std::memcpy(text, name.data(), name.size());
    release();
    std::memcpy(bytes_, &text, sizeof text);
    const auto length = static_cast<std::uint32_t>(name.size());
    std::memcpy(bytes_ + 8, &length, sizeof length);
    bytes_[kTag] = kOnHeap;
}

}  // namespace lark
