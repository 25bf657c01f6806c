// The editor's find: searches a copy of its characters that follows every change of the
// document, instead of building the whole CR LF byte text (or even reading the document's
// pieces) at each find. A line break is one character here and two bytes (CR LF) in
// text(); the positions are converted the way selectionStart and select do.
#include <QPointer>
#include <QTextCursor>
#include <QTextDocument>
#include <array>
#include <memory>

#include "document/cp1251.h"
#include "document/scan_either.h"
#include "editor/note_editor.h"

namespace lark::gui {

namespace {

constexpr std::uint16_t kNoByte = 0x100;

// Every UTF-16 unit to its lower-cased Windows-1251 byte, or kNoByte; and for every
// lower-cased byte the characters that fold to it.
struct FoldTables {
    std::unique_ptr<std::uint16_t[]> folded{new std::uint16_t[65536]};
    std::array<std::array<char16_t, 2>, 256> sources{};
    std::array<int, 256> sourceCount{};
    FoldTables() {
        for (int i = 0; i < 65536; ++i) folded[i] = kNoByte;
        const unsigned char* lower = cp1251::lowerTable();
        for (int b = 0; b < 256; ++b) {
            const char32_t cp = cp1251::toUnicode(static_cast<unsigned char>(b));
            if (cp >= 0x10000 || cp == 0xFFFD) continue;
            const unsigned char f = lower[b];
            folded[cp] = f;
            if (sourceCount[f] < 2) sources[f][static_cast<std::size_t>(sourceCount[f])] = static_cast<char16_t>(cp);
            ++sourceCount[f];
        }
    }
};

const FoldTables& foldTables() {
    static const FoldTables t;
    return t;
}

// The editor's characters, kept up to date from the document's change notices: every change
// is copied in, a paste of megabytes too (reading what it added costs less than reading the
// whole text again at the next find).
// Line breaks are '\n' where the text was shown whole and U+2029 elsewhere; the find
// treats both alike.
class FindCopy : public QObject {
public:
    explicit FindCopy(NoteEditor* editor) : QObject(editor), editor_(editor) { attach(); }

    static FindCopy& of(NoteEditor* editor) {
        // No meta-object of its own: findChild would take any child for it.
        for (QObject* child : editor->children())
            if (auto* copy = dynamic_cast<FindCopy*>(child)) return *copy;
        return *new FindCopy(editor);
    }

    const QString& text() {
        if (editor_->document() != doc_) attach();
        if (!valid_) {
            text_ = doc_->toRawText();
            valid_ = true;
        }
        return text_;
    }

    // Nothing is kept until the next shown(): a text about to be replaced whole is not
    // copied piece by piece meanwhile.
    void forget() {
        valid_ = false;
        text_.clear();
    }

    QString kept() const { return valid_ && editor_->document() == doc_ ? text_ : QString(); }

    void shown(const QString& plain) {
        if (editor_->document() != doc_) attach();
        text_ = plain;
        valid_ = text_.size() == doc_->characterCount() - 1;
        if (!valid_) text_.clear();
    }

private:
    void attach() {
        if (doc_) disconnect(doc_, nullptr, this, nullptr);
        doc_ = editor_->document();
        connect(doc_, &QTextDocument::contentsChange, this, &FindCopy::changed);
        valid_ = false;
        text_.clear();
    }

    void changed(int position, int removed, int added) {
        if (!valid_) return;
        const int length = doc_->characterCount() - 1;
        // Changes at the very start may count the document's closing separator.
        if (position < 0 || position + removed > text_.size() || position + added > length) {
            valid_ = false;
            text_.clear();
            return;
        }
        text_.remove(position, removed);
        if (added > 0) {
            QTextCursor c(doc_);
            c.setPosition(position);
            c.setPosition(position + added, QTextCursor::KeepAnchor);
            text_.insert(position, c.selectedText());
        }
        if (text_.size() != length) {
            valid_ = false;
            text_.clear();
        }
    }

    NoteEditor* editor_;
    QPointer<QTextDocument> doc_;  // the editor deletes documents it no longer shows
    QString text_;
    bool valid_ = false;
};

}  // namespace

void NoteEditor::rememberShownText(const QString& shown) { FindCopy::of(this).shown(shown); }
void NoteEditor::forgetShownText() { FindCopy::of(this).forget(); }
QString NoteEditor::keptShownText() { return FindCopy::of(this).kept(); }

std::optional<std::size_t> NoteEditor::findText(std::string_view needleLowered, std::size_t from) {
    if (needleLowered.empty()) return std::nullopt;
    // A needle with line breaks would have to match one character against two bytes:
    // the byte text answers that.
    // So does a text with long lines shown in pieces.
    if (shown_.hasPieces() || needleLowered.find_first_of("\r\n") != std::string_view::npos)
        return IEditor::findText(needleLowered, from);

    const FoldTables& t = foldTables();
    const unsigned char* lower = cp1251::lowerTable();
    std::string needle(needleLowered);
    for (char& c : needle) c = static_cast<char>(lower[static_cast<unsigned char>(c)]);

    // Line breaks stand where text() has CR LF; everything else is one character.
    const QString& raw = FindCopy::of(this).text();
    const auto* s = reinterpret_cast<const char16_t*>(raw.constData());
    const qsizetype n = raw.size();
    const qsizetype m = static_cast<qsizetype>(needle.size());
    const qsizetype start = toEditorPosition(from);
    if (start > n || n - start < m) return std::nullopt;
    const qsizetype last = n - m;

    const auto* want = reinterpret_cast<const unsigned char*>(needle.data());
    auto rest = [&](qsizetype p) {
        for (qsizetype j = 1; j < m; ++j)
            if (t.folded[s[p + j]] != want[j]) return false;
        return true;
    };
    const unsigned char first = want[0];
    qsizetype found = -1;
    if (t.sourceCount[first] == 0) return std::nullopt;  // no character folds to it
    if (t.sourceCount[first] > 2) {
        for (qsizetype p = start; p <= last && found < 0; ++p)
            if (t.folded[s[p]] == first && rest(p)) found = p;
    } else {
        const char16_t a = t.sources[first][0];
        const char16_t b = t.sourceCount[first] == 2 ? t.sources[first][1] : a;
        bool beyond = false;
        const std::size_t p =
            ScanEither(s, static_cast<std::size_t>(n), static_cast<std::size_t>(start), a, b, [&](std::size_t q) {
                if (static_cast<qsizetype>(q) > last) return beyond = true;
                return rest(static_cast<qsizetype>(q));
            });
        if (!beyond && p != kNotFound) found = static_cast<qsizetype>(p);
    }
    if (found < 0) return std::nullopt;
    return toBytePosition(static_cast<int>(found));
}

}  // namespace lark::gui
