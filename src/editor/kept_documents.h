#pragma once
// The documents of the last large sections the editor showed, kept so that showing one of
// them again swaps its document back in (QPlainTextEdit::setDocument) instead of converting
// ten megabytes anew. A document is kept under the exact bytes its text stands for, and
// only while nothing changed it since those bytes were known: a section whose stored bytes
// differ in any way (edited, replaced, restored by an undo of the tree) never finds it.
// Only texts of kKeptFrom bytes or more are kept by default (smaller ones are shown afresh in
// a few tens of milliseconds), kKeptAtMost of them.
#include <QString>
#include <QTextDocument>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/shown_text.h"

namespace lark::gui {

class KeptDocuments {
public:
    static constexpr qsizetype kKeptFrom = qsizetype{4} << 20;
    static constexpr std::size_t kKeptAtMost = 2;

    // Room for every entry up front: keeping the document shown never fails half way.
    KeptDocuments() { entries_.reserve(kKeptAtMost + 1); }

    // Texts of fewer bytes are not kept (the documents kept go).
    void setKeptFrom(qsizetype bytes) {
        clear();
        from_ = bytes;
    }

    struct Kept {
        std::unique_ptr<QTextDocument> doc;
        ShownText::Shape shape;
        // The editor's find copy of its characters, when it had one (null otherwise).
        QString findCopy;
        // The bytes its text stands for (filled by keep and take).
        std::string bytes;
    };

    // The bytes of the document shown now: as shown from them, or as read from it (nothing
    // when they are not worth keeping); any change of the document forgets them.
    void shown(std::string_view bytes);
    void read(const std::string& bytes);
    void changed() { ++changes_; }
    // Whether the bytes of the document shown now are known (none changed it since).
    bool known() const { return !bytes_.empty() && knownAt_ == changes_; }
    // Whether the document shown now holds exactly `bytes`.
    bool holds(std::string_view bytes) const { return known() && bytes_ == bytes; }

    // Keeps the document shown now, whose bytes are known, as it is (the oldest kept goes
    // beyond kKeptAtMost).
    void keep(Kept kept);
    // The document kept for exactly `bytes`, taken out; showsKept tells when it is shown.
    std::optional<Kept> take(std::string_view bytes);
    void showsKept(Kept& kept);
    // Every document kept goes (a notebook closed, the way of showing changed).
    void clear();

private:
    struct Entry {
        Kept kept;
        int characters = 0;
    };
    std::vector<Entry> entries_;  // oldest first
    qsizetype from_ = kKeptFrom;
    std::string bytes_;
    std::uint64_t changes_ = 0;
    std::uint64_t knownAt_ = 0;
};

}  // namespace lark::gui
