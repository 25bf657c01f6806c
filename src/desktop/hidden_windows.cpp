#include "desktop/hidden_windows.h"

namespace lark::gui {

int HiddenWindows::append(std::string title, WindowHandle window) {
    if (count() >= kOwnIconId) return -1;
    entries_.push_back({std::move(title), window});
    return count() - 1;
}

WindowHandle HiddenWindows::window(int index) const {
    if (index < 0 || index >= count()) return 0;
    return entries_[static_cast<std::size_t>(index)].window;
}

std::string HiddenWindows::title(int index) const {
    if (index < 0 || index >= count()) return {};
    return entries_[static_cast<std::size_t>(index)].title;
}

bool HiddenWindows::clear(int index) {
    if (window(index) == 0) return false;
    entries_[static_cast<std::size_t>(index)] = Entry{};
    return true;
}

std::string Utf8Prefix(std::string_view text, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Every byte that does not continue a character starts one.
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == maxChars) return std::string(text.substr(0, i));
            ++chars;
        }
    }
    return std::string(text);
}

std::optional<IconImageRef> PickSmallIcon(std::span<const std::uint32_t> data) {
    std::optional<IconImageRef> small, largest;
    auto area = [](const IconImageRef& r) { return std::uint64_t(r.width) * r.height; };
    std::size_t at = 0;
    while (data.size() - at >= 2) {
        const IconImageRef image{at + 2, data[at], data[at + 1]};
        const std::uint64_t pixels = area(image);
        if (pixels == 0 || pixels > data.size() - image.offset) break;
        if (image.width >= 16 && image.height >= 16 && (!small || pixels < area(*small))) small = image;
        if (!largest || pixels > area(*largest)) largest = image;
        at = image.offset + static_cast<std::size_t>(pixels);
    }
    return small ? small : largest;
}

}  // namespace lark::gui
