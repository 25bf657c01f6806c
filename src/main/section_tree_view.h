#pragma once
// The section tree tvNodes: a QTreeView over SectionModel that mirrors the document's
// selection (the Document is the source of truth), edits names in place, classifies
// drops for the move logic, and opens its pop-up menu without selecting.
#include <QPersistentModelIndex>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "document/interfaces.h"
#include "editing/section_commands.h"

namespace lark::gui {

class SectionModel;

class SectionTreeView : public QTreeView, public ITreeView {
    Q_OBJECT
public:
    explicit SectionTreeView(QWidget* parent = nullptr);

    void setSectionModel(SectionModel* model);
    SectionModel* sectionModel() const { return model_; }

    // The user picked a section (click, keys); the window hands it to the document.
    std::function<void(Section*)> onUserSelect;
    // A drop landed: its class and the section at the drop point.
    std::function<void(DropHit, Section*)> onDrop;
    // Right click: pop-up menu at a global position.
    std::function<void(const QPoint&)> onPopup;

    // Takes a name still being typed in the tree as Enter would, and closes its editor.
    void commitOpenEditor();

    // How the tree's hit test classifies a point of the viewport.
    DropHit hitTest(const QPoint& p, Section** section) const;  // p: in the viewport

    // ITreeView
    void showSelection(Section* section) override;
    void setTreeVisible(bool visible) override;
    bool treeVisible() const override;
    void setTreeReadOnly(bool readOnly) override;
    bool treeReadOnly() const override;
    void expand(Section* section) override;
    void editName(Section* section) override;
    bool focusTree() override;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void commitData(QWidget* editor) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A slow second click on the selected section opens its name editor, once the time of
    // a double click has passed and only while the click's section is still current and
    // the tree still has the keyboard and the mouse.
    void slowClickFired();
    QTimer slowClick_;
    QPersistentModelIndex slowIndex_;
    bool pressOnCurrent_ = false;

    SectionModel* model_ = nullptr;
    int structural_ = 0;      // inside a model change
    bool mirroring_ = false;  // set while the view follows the document's selection
    bool visible_ = true;
    bool committing_ = false;  // inside commitOpenEditor or a commit of the name editor
};

}  // namespace lark::gui
