#include "finder/text_list.h"

namespace lark::finder {

void TextList::PushText(const std::string& text) {
    auto entry = std::make_unique<Entry>();
    entry->text = text;
    entry->below = std::move(top_);
    top_ = std::move(entry);
}

bool TextList::PopText(std::string& text) {
    if (!top_) return true;
    text = std::move(top_->text);
    top_ = std::move(top_->below);
    return false;
}

void TextList::ClearTextList() {
    // One entry at a time: a chain of a million entries must not unwind recursively.
    while (top_) top_ = std::move(top_->below);
}

}  // namespace lark::finder
