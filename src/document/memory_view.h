#pragma once
// In-memory implementations of the tree view, editor and UI, for tests and lkp.
#include <functional>
#include <string>
#include <vector>

#include "document/interfaces.h"

namespace lark {

class MemoryTreeView : public ITreeView {
public:
    void showSelection(Section* section) override { shown = section; }
    void setTreeVisible(bool v) override { visible = v; }
    bool treeVisible() const override { return visible; }
    void setTreeReadOnly(bool ro) override { readOnly = ro; }
    bool treeReadOnly() const override { return readOnly; }
    void expand(Section* section) override { expanded.push_back(section); }
    void editName(Section* section) override { editing = section; }
    bool focusTree() override {
        ++focusCount;
        return canFocus;
    }

    Section* shown = nullptr;
    Section* editing = nullptr;
    std::vector<Section*> expanded;
    bool visible = true;
    bool readOnly = false;
    bool canFocus = true;
    int focusCount = 0;
};

class MemoryEditor : public IEditor {
public:
    std::string text() const override { return text_; }
    void setText(std::string_view t) override {
        text_.assign(t);
        selStart_ = selLength_ = 0;
    }
    void clear() override { setText({}); }
    bool modified() const override { return modified_; }
    void setModified(bool m) override { modified_ = m; }
    bool readOnly() const override { return readOnly_; }
    void setReadOnly(bool ro) override { readOnly_ = ro; }
    void loadFile(const std::string& path) override;
    void setCharset(int cs) override { charset = cs; }
    std::size_t selectionStart() const override { return selStart_; }
    std::size_t selectionLength() const override { return selLength_; }
    void select(std::size_t start, std::size_t length) override {
        selStart_ = start;
        selLength_ = length;
    }
    bool focusEditor() override {
        ++focusCount;
        return canFocus;
    }
    // Searches the held text in place, without the copy text() makes.
    std::optional<std::size_t> findText(std::string_view needleLowered, std::size_t from) override {
        const std::size_t p = FindFolded(text_, needleLowered, from);
        if (p == kNotFound) return std::nullopt;
        return p;
    }

    // What a user does: replace the text and mark it modified.
    void type(std::string_view t) {
        text_.assign(t);
        modified_ = true;
    }

    // When false, loadFile reads without the second locked opening (lkp never locks).
    bool lockOnLoad = true;
    bool canFocus = true;
    int charset = 0;
    int focusCount = 0;

private:
    std::string text_;
    bool modified_ = false;
    bool readOnly_ = false;
    std::size_t selStart_ = 0, selLength_ = 0;
};

// The editor of a notebook read on the side (lkp, another version of the window's file):
// it takes no lock, and notes whether the parse asked for the plain-text view, that is,
// whether the file is no notebook.
class ProbeEditor : public MemoryEditor {
public:
    ProbeEditor() { lockOnLoad = false; }
    void loadFile(const std::string& path) override {
        shownAsPlainText = true;
        MemoryEditor::loadFile(path);
    }
    bool shownAsPlainText = false;
};

class MemoryUi : public IUi {
public:
    void showError(const std::string& text) override { errors.push_back(text); }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    bool confirm(const std::string& text) override {
        questions.push_back(text);
        if (onConfirm) onConfirm();
        return confirmAnswer;
    }
    void setStatus(const std::string& text) override { status_ = text; }
    std::string status() const override { return status_; }
    void processEvents() override {
        ++eventPumps;
        if (onProcessEvents) onProcessEvents();
    }

    std::vector<std::string> errors, messages, questions;
    bool confirmAnswer = true;
    int eventPumps = 0;
    std::function<void()> onProcessEvents;
    std::function<void()> onConfirm;  // runs while the question is open

private:
    std::string status_;
};

}  // namespace lark
