#pragma once
// The windows that Win+Z parked in the notification area, and the small rules about their
// titles and icons. No Qt and no X here, so the rules can be tested on their own.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace lark::gui {

// A top-level window of the window system (an X window id); 0 is no window.
using WindowHandle = std::uint64_t;

// One entry per use of Win+Z on a foreign window. An entry's index is the id of that
// window's tray icon: entries are only appended, and a restored entry is cleared in place
// (empty title, no window), so an id is never handed out twice in a run.
class HiddenWindows {
public:
    struct Entry {
        std::string title;
        WindowHandle window = 0;
    };

    // The program's own tray icon; ids of hidden windows stay below it.
    static constexpr int kOwnIconId = 32767;

    // Appends the entry and returns its index, or -1 when every id below the own icon's is
    // taken (the window then stays where it is).
    int append(std::string title, WindowHandle window);
    // The window of a live entry; 0 for a cleared entry or an index out of range.
    WindowHandle window(int index) const;
    // The title the entry was given; empty for a cleared entry or an index out of range.
    std::string title(int index) const;
    // Clears a live entry in place; false when the index is out of range or already cleared.
    bool clear(int index);
    int count() const { return static_cast<int>(entries_.size()); }

private:
    std::vector<Entry> entries_;
};

// A window title is kept to 255 characters, a tray tip shows the first 127.
inline constexpr std::size_t kTitleMaxChars = 255;
inline constexpr std::size_t kTipMaxChars = 127;

// The first `maxChars` characters of UTF-8 text; a character is never cut in two.
std::string Utf8Prefix(std::string_view text, std::size_t maxChars);

// Where one image of a _NET_WM_ICON property lies: the index of its first pixel (ARGB, one
// 32-bit value each) and its size.
struct IconImageRef {
    std::size_t offset = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The "small" image of a _NET_WM_ICON property (images one after the other: width,
// height, then width*height pixels): the smallest of those at least 16 pixels wide and
// high; the largest when all are smaller. Parsing stops at the first malformed image (a
// zero side, or fewer pixels than it claims); nothing when no whole image precedes it.
std::optional<IconImageRef> PickSmallIcon(std::span<const std::uint32_t> data);

}  // namespace lark::gui
