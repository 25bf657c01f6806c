#include "main/section_tree_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>

#include "main/section_model.h"

namespace lark::gui {

SectionTreeView::SectionTreeView(QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("tvNodes"));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Names are edited by F6 (the menu's Rename) or a slow second click only. Qt's own
    // "selected clicked" trigger edits whatever is current when its timer fires, even after
    // the keyboard went elsewhere: typed text would rename a section.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    slowClick_.setSingleShot(true);
    connect(&slowClick_, &QTimer::timeout, this, &SectionTreeView::slowClickFired);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setMouseTracking(true);  // hot tracking
    setAnimated(false);
    setExpandsOnDoubleClick(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    connect(this, &QTreeView::expanded, this, [](const QModelIndex& i) {
        if (Section* s = SectionModel::sectionAt(i)) s->expanded = true;
    });
    connect(this, &QTreeView::collapsed, this, [](const QModelIndex& i) {
        if (Section* s = SectionModel::sectionAt(i)) s->expanded = false;
    });
}

void SectionTreeView::setSectionModel(SectionModel* model) {
    model_ = model;
    // Structural changes move Qt's current index on their own; those moves are not the
    // user's choice and must not reach the document. These connections come first, so
    // they run before the selection model reacts.
    auto hold = [this] { ++structural_; };
    auto release = [this] { --structural_; };
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, hold);
    connect(model, &QAbstractItemModel::rowsRemoved, this, release);
    connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, hold);
    connect(model, &QAbstractItemModel::rowsInserted, this, release);
    connect(model, &QAbstractItemModel::rowsAboutToBeMoved, this, hold);
    connect(model, &QAbstractItemModel::rowsMoved, this, release);
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, hold);
    connect(model, &QAbstractItemModel::modelReset, this, release);
    setModel(model);
}

void SectionTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    if (mirroring_ || structural_ > 0 || !current.isValid()) return;
    if (onUserSelect) onUserSelect(SectionModel::sectionAt(current));
}

void SectionTreeView::showSelection(Section* section) {
    if (!model_) return;
    const bool was = mirroring_;
    mirroring_ = true;
    const QModelIndex index = model_->indexOf(section);
    if (index.isValid()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    } else {
        selectionModel()->clear();
    }
    mirroring_ = was;
}

void SectionTreeView::setTreeVisible(bool visible) {
    visible_ = visible;
    setVisible(visible);
}
bool SectionTreeView::treeVisible() const { return visible_; }

void SectionTreeView::setTreeReadOnly(bool readOnly) {
    if (model_) model_->setReadOnly(readOnly);
}
bool SectionTreeView::treeReadOnly() const { return model_ && model_->readOnly(); }

void SectionTreeView::expand(Section* section) {
    const QModelIndex index = model_ ? model_->indexOf(section) : QModelIndex();
    if (index.isValid()) QTreeView::expand(index);
    if (section) section->expanded = true;
}

void SectionTreeView::editName(Section* section) {
    const QModelIndex index = model_ ? model_->indexOf(section) : QModelIndex();
    if (!index.isValid() || treeReadOnly()) return;
    scrollTo(index);
    edit(index);
}

void SectionTreeView::commitOpenEditor() {
    // Committing renames the section through a command, which commits open editors first.
    if (committing_ || state() != QAbstractItemView::EditingState) return;
    committing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{committing_};
    QWidget* editor = indexWidget(currentIndex());
    if (!editor) {
        // The editor belongs to some other row than the current one.
        const auto editors = viewport()->findChildren<QLineEdit*>();
        if (!editors.isEmpty()) editor = editors.constFirst();
    }
    if (!editor) return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void SectionTreeView::commitData(QWidget* editor) {
    // The name editor commits and then closes itself: the rename its commit runs must not
    // close it first (it would be closed twice).
    const bool outer = committing_;
    committing_ = true;
    QTreeView::commitData(editor);
    committing_ = outer;
}

bool SectionTreeView::focusTree() {
    setFocus(Qt::OtherFocusReason);
    return isEnabled() && visible_;
}

void SectionTreeView::mousePressEvent(QMouseEvent* event) {
    // A right click opens the pop-up menu and leaves the selection as it is.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    slowClick_.stop();
    const QModelIndex index = indexAt(event->position().toPoint());
    pressOnCurrent_ = event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier && index.isValid() &&
                      index == currentIndex() && selectionModel()->isSelected(index) &&
                      state() != QAbstractItemView::EditingState;
    QTreeView::mousePressEvent(event);
}

void SectionTreeView::mouseReleaseEvent(QMouseEvent* event) {
    const bool onCurrent = pressOnCurrent_;
    pressOnCurrent_ = false;
    QTreeView::mouseReleaseEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!onCurrent || event->button() != Qt::LeftButton || !index.isValid() || index != currentIndex()) return;
    slowIndex_ = index;
    slowClick_.start(QApplication::doubleClickInterval());
}

void SectionTreeView::mouseDoubleClickEvent(QMouseEvent* event) {
    slowClick_.stop();
    pressOnCurrent_ = false;
    QTreeView::mouseDoubleClickEvent(event);
}

void SectionTreeView::keyPressEvent(QKeyEvent* event) {
    slowClick_.stop();
    QTreeView::keyPressEvent(event);
}

void SectionTreeView::focusOutEvent(QFocusEvent* event) {
    slowClick_.stop();
    QTreeView::focusOutEvent(event);
}

bool SectionTreeView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) slowClick_.stop();
    return QTreeView::viewportEvent(event);
}

void SectionTreeView::slowClickFired() {
    const QModelIndex index = slowIndex_;
    slowIndex_ = QPersistentModelIndex();
    if (!index.isValid() || index != currentIndex() || !hasFocus() || !isActiveWindow() || treeReadOnly() ||
        state() == QAbstractItemView::EditingState)
        return;
    edit(index);
}

void SectionTreeView::contextMenuEvent(QContextMenuEvent* event) {
    if (onPopup) onPopup(event->globalPos());
    event->accept();
}

void SectionTreeView::startDrag(Qt::DropActions) {
    const QModelIndex index = currentIndex();
    if (!index.isValid() || !model_) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(model_->mimeData({index}));
    const QRect rect = visualRect(index);
    QPixmap pixmap(rect.size());
    pixmap.fill(Qt::transparent);
    viewport()->render(&pixmap, QPoint(), QRegion(rect));
    drag->setPixmap(pixmap);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void SectionTreeView::dragEnterEvent(QDragEnterEvent* event) {
    // Every drag over the tree is accepted, whatever its source.
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void SectionTreeView::dragMoveEvent(QDragMoveEvent* event) {
    // Highlight the section under the mouse as the drop target.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && selectionModel()) {
        setState(QAbstractItemView::DraggingState);
        viewport()->update();
    }
    QTreeView::dragMoveEvent(event);
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

void SectionTreeView::dropEvent(QDropEvent* event) {
    setState(QAbstractItemView::NoState);
    Section* section = nullptr;
    const DropHit hit = hitTest(event->position().toPoint(), &section);
    event->setDropAction(Qt::MoveAction);
    event->accept();
    stopAutoScroll();
    viewport()->update();
    if (onDrop) onDrop(hit, section);
}

DropHit SectionTreeView::hitTest(const QPoint& p, Section** section) const {
    if (section) *section = nullptr;
    if (!viewport()->rect().contains(p)) return DropHit::Nothing;
    const QModelIndex index = indexAt(p);
    if (!index.isValid()) {
        // Below the last item, or in an empty tree.
        const int rows = model_ ? model_->rowCount() : 0;
        if (rows == 0) return DropHit::BelowLast;
        QModelIndex last = model_->index(rows - 1, 0);
        while (isExpanded(last) && model_->rowCount(last) > 0)
            last = model_->index(model_->rowCount(last) - 1, 0, last);
        return p.y() >= visualRect(last).bottom() ? DropHit::BelowLast : DropHit::Nothing;
    }
    if (section) *section = SectionModel::sectionAt(index);
    const QRect item = visualRect(index);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = item;
    const int labelWidth = itemDelegateForIndex(index)->sizeHint(option, index).width();
    if (p.x() >= item.left() && p.x() < item.left() + labelWidth) return DropHit::OnItem;
    if (p.x() >= item.left() + labelWidth) return DropHit::Nothing;  // right of the label
    // Left of the item: the branch column just before it holds the expand button when
    // the section has children.
    if (model_->hasChildren(index) && p.x() >= item.left() - indentation()) return DropHit::Nothing;
    return DropHit::Indent;
}

}  // namespace lark::gui
