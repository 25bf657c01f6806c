#pragma once
// The editor's capacity: 16,777,215 characters (a line break counts as one). Typing,
// input-method text, pasting and dropping that would take the text beyond it are refused
// whole; text the program itself puts into the editor (a section being shown) is not cut.
#include <QObject>
#include <QtGlobal>

class QPlainTextEdit;

namespace lark::gui {

inline constexpr qsizetype kEditorCapacity = 16777215;

// Characters in the editor's text.
qsizetype EditorLength(const QPlainTextEdit& editor);
// Characters a text takes in the editor: CR LF becomes one line break.
qsizetype InsertedLength(const QString& text);
// True when replacing the editor's selection with `added` characters stays within the
// capacity.
bool FitsEditorCapacity(const QPlainTextEdit& editor, qsizetype added);

// Refuses keys and input-method commits that would go beyond the capacity. Install it
// on the editor; pastes and drops are checked where the editor inserts mime data.
class CapacityGuard : public QObject {
    Q_OBJECT
public:
    explicit CapacityGuard(QPlainTextEdit* editor);
    bool eventFilter(QObject* watched, QEvent* event) override;

    int refusals() const { return refusals_; }

private:
    QPlainTextEdit* editor_;
    int refusals_ = 0;
};

}  // namespace lark::gui
