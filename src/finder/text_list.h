#pragma once
// The list of directories still to be searched by the scan: last in, first out. Each entry
// owns its copy of the path and points to the entry below it; the list is known by its top.
#include <memory>
#include <string>

namespace lark::finder {

class TextList {
public:
    TextList() = default;
    TextList(const TextList&) = delete;
    TextList& operator=(const TextList&) = delete;
    ~TextList() { ClearTextList(); }

    // Makes a copy of `text` the new top.
    void PushText(const std::string& text);
    // True when the list is empty (`text` is left as it was); otherwise moves the top
    // entry's text into `text`, drops the entry and returns false.
    bool PopText(std::string& text);
    // Drops every entry.
    void ClearTextList();

    bool empty() const { return !top_; }

private:
    struct Entry {
        std::string text;
        std::unique_ptr<Entry> below;
    };
    std::unique_ptr<Entry> top_;
};

}  // namespace lark::finder
