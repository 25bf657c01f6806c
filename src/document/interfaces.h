#pragma once
// What the document logic needs from its surroundings. The window implements these
// with Qt widgets; tests and lkp use the in-memory versions of memory_view.h.
//
// Texts handed to the editor are notebook bytes (Windows-1251, CR LF line breaks).
// Messages handed to the UI are UTF-8.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "document/fold_find.h"

namespace lark {

class Section;

// View-side state of the section tree. The sections themselves live in SectionTree;
// the selection lives in Document, which tells the view about it.
class ITreeView {
public:
    virtual ~ITreeView() = default;
    virtual void showSelection(Section* section) = 0;  // mirror the document's selection
    virtual void setTreeVisible(bool visible) = 0;
    virtual bool treeVisible() const = 0;
    virtual void setTreeReadOnly(bool readOnly) = 0;  // no label editing
    virtual bool treeReadOnly() const = 0;
    virtual void expand(Section* section) = 0;
    virtual void editName(Section* section) = 0;  // start in-place name editing
    virtual bool focusTree() = 0;                 // false when focus cannot be taken
};

class IEditor {
public:
    virtual ~IEditor() = default;
    virtual std::string text() const = 0;  // the whole text, CR LF line breaks
    virtual void setText(std::string_view text) = 0;
    virtual void clear() = 0;
    virtual bool modified() const = 0;
    virtual void setModified(bool modified) = 0;
    virtual bool readOnly() const = 0;
    virtual void setReadOnly(bool readOnly) = 0;
    // Shows a file's bytes as plain text. Opens the file a second time, read-only and
    // letting others only read it; throws LarkError when that is refused.
    virtual void loadFile(const std::string& path) = 0;
    virtual void setCharset(int charset) { (void)charset; }

    // Selection in character positions of text() (one byte per character).
    virtual std::size_t selectionStart() const = 0;
    virtual std::size_t selectionLength() const = 0;
    virtual void select(std::size_t start, std::size_t length) = 0;
    virtual bool focusEditor() = 0;

    // First occurrence of `needleLowered` at or after `from` in text(), letter case
    // ignored (Windows-1251 folding); nothing when there is none or the needle is empty.
    // Editors that hold their text in another form may search it in place instead.
    virtual std::optional<std::size_t> findText(std::string_view needleLowered, std::size_t from) {
        const std::string all = text();
        const std::size_t p = FindFolded(all, needleLowered, from);
        if (p == kNotFound) return std::nullopt;
        return p;
    }
};

// Message boxes, status bar and the event loop.
class IUi {
public:
    enum class Answer { Yes, No, Cancel };
    virtual ~IUi() = default;
    virtual void showError(const std::string& text) = 0;    // error box, error icon
    virtual void showMessage(const std::string& text) = 0;  // plain notice, OK only
    virtual bool confirm(const std::string& text) = 0;      // Yes / No
    virtual void setStatus(const std::string& text) = 0;
    virtual std::string status() const = 0;
    virtual void processEvents() = 0;
};

}  // namespace lark
