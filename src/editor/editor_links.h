#pragma once
// Links in the editor reNodeContent: found anew in the shown text (the core's link
// detection, line by line), underlined, the pointing hand over them, and a left-button
// press on one reported with the link's characters read from the editor's current text.
// Presses elsewhere, other buttons and plain mouse moves keep their usual meaning.
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QPoint;

namespace lark::gui {

class NoteEditor;

// A link under a point: its text and where it stands in the editor (positions of the
// editor's document, one character per line break).
struct EditorLink {
    QString text;
    int position = 0;
    int length = 0;
};

// The link whose character lies under `viewportPos`, if any (only while the editor's
// links are enabled).
std::optional<EditorLink> LinkAt(const NoteEditor& editor, const QPoint& viewportPos);

// Every link of one line of the editor: [start, start + length) pairs.
std::vector<std::pair<int, int>> LinksInLine(const QString& line);

// Watches the editor's viewport for presses and moves over links.
class EditorLinks : public QObject {
    Q_OBJECT
public:
    EditorLinks(NoteEditor* editor, std::function<void(const QString&)> onPress);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    NoteEditor* editor_;
    std::function<void(const QString&)> onPress_;
    bool overLink_ = false;
};

// Attaches the watcher to the editor once.
void InstallEditorLinks(NoteEditor* editor, std::function<void(const QString&)> onPress);

}  // namespace lark::gui
