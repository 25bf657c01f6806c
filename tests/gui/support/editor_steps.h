#pragma once
// Driving a note editor as a user would, for tests that compare two editors step by step.
#include <QApplication>
#include <QClipboard>
#include <QTextCursor>
#include <QtTest>
#include <string>
#include <string_view>

#include "editor/edit_clipboard.h"
#include "editor/note_editor.h"

namespace guitest {

inline std::string repeat(std::string_view unit, std::size_t bytes) {
    std::string out;
    while (out.size() < bytes) out += unit;
    out.resize(bytes);
    return out;
}

inline void putCaret(lark::gui::NoteEditor& e, int position) {
    QTextCursor c = e.textCursor();
    c.setPosition(position);
    e.setTextCursor(c);
}

// One step of an edit script: a key ("bs", "del", "enter", "shift-enter", "left", "right",
// "shift-left", "shift-right", "home", "end", "shift-home", "shift-end", "word-left",
// "word-right", "shift-word-right", "word-bs", "word-del"), "undo", "redo", "cut", "paste",
// "paste:TEXT" (\n and \r written so), or text typed.
inline void step(lark::gui::NoteEditor& e, const QString& token) {
    using lark::gui::CutAsPlainText;
    using lark::gui::PasteAsPlainText;
    if (token == "bs") QTest::keyClick(&e, Qt::Key_Backspace);
    else if (token == "del") QTest::keyClick(&e, Qt::Key_Delete);
    else if (token == "enter") QTest::keyClick(&e, Qt::Key_Return);
    else if (token == "shift-enter") QTest::keyClick(&e, Qt::Key_Return, Qt::ShiftModifier);
    else if (token == "left") QTest::keyClick(&e, Qt::Key_Left);
    else if (token == "right") QTest::keyClick(&e, Qt::Key_Right);
    else if (token == "shift-left") QTest::keyClick(&e, Qt::Key_Left, Qt::ShiftModifier);
    else if (token == "shift-right") QTest::keyClick(&e, Qt::Key_Right, Qt::ShiftModifier);
    else if (token == "home") QTest::keyClick(&e, Qt::Key_Home);
    else if (token == "end") QTest::keyClick(&e, Qt::Key_End);
    else if (token == "shift-home") QTest::keyClick(&e, Qt::Key_Home, Qt::ShiftModifier);
    else if (token == "shift-end") QTest::keyClick(&e, Qt::Key_End, Qt::ShiftModifier);
    else if (token == "word-left") QTest::keyClick(&e, Qt::Key_Left, Qt::ControlModifier);
    else if (token == "word-right") QTest::keyClick(&e, Qt::Key_Right, Qt::ControlModifier);
    else if (token == "shift-word-right") QTest::keyClick(&e, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    else if (token == "word-bs") QTest::keyClick(&e, Qt::Key_Backspace, Qt::ControlModifier);
    else if (token == "word-del") QTest::keyClick(&e, Qt::Key_Delete, Qt::ControlModifier);
    else if (token == "undo") e.undo();
    else if (token == "redo") e.redo();
    else if (token.startsWith("paste:")) {
        QApplication::clipboard()->setText(token.mid(6).replace("\\n", "\n").replace("\\r", "\r"));
        PasteAsPlainText(e, *QApplication::clipboard());
    } else if (token == "paste") PasteAsPlainText(e, *QApplication::clipboard());
    else if (token == "cut") CutAsPlainText(e, *QApplication::clipboard());
    else QTest::keyClicks(&e, token);
}

}  // namespace guitest
