#include "editor/kept_documents.h"

#include <algorithm>
#include <utility>

namespace lark::gui {

void KeptDocuments::shown(std::string_view bytes) {
    bytes_.clear();
    if (static_cast<qsizetype>(bytes.size()) >= from_) bytes_.assign(bytes);
    knownAt_ = changes_;
}

void KeptDocuments::read(const std::string& bytes) {
    if (known() || static_cast<qsizetype>(bytes.size()) < from_) return;
    bytes_ = bytes;
    knownAt_ = changes_;
}

void KeptDocuments::keep(Kept kept) {
    if (!known() || !kept.doc) return;
    const int characters = kept.doc->characterCount();
    kept.bytes = std::move(bytes_);
    bytes_.clear();
    entries_.push_back(Entry{std::move(kept), characters});
    if (entries_.size() > kKeptAtMost) entries_.erase(entries_.begin());
}

std::optional<KeptDocuments::Kept> KeptDocuments::take(std::string_view bytes) {
    const auto found = std::ranges::find_if(entries_, [&](const Entry& e) { return e.kept.bytes == bytes; });
    if (found == entries_.end()) return std::nullopt;
    Entry entry = std::move(*found);
    entries_.erase(found);
    // Nothing reaches a kept document; should its length have changed all the same, it
    // is not shown.
    if (entry.kept.doc->characterCount() != entry.characters) return std::nullopt;
    return std::move(entry.kept);
}

void KeptDocuments::showsKept(Kept& kept) {
    bytes_ = std::move(kept.bytes);
    knownAt_ = changes_;
}

void KeptDocuments::clear() {
    entries_.clear();
    bytes_.clear();
    knownAt_ = changes_;
}

}  // namespace lark::gui
