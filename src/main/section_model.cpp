#include "main/section_model.h"

#include <QMimeData>

#include "editor/editor.h"
#include "main/icons.h"

namespace lark::gui {

SectionModel::SectionModel(SectionTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), leafIcon_(AppIcon("note")), branchIcon_(AppIcon("folder")) {
    tree_.setObserver(this);
}

SectionModel::~SectionModel() { tree_.setObserver(nullptr); }

Section* SectionModel::sectionAt(const QModelIndex& index) {
    return index.isValid() ? static_cast<Section*>(index.internalPointer()) : nullptr;
}

QModelIndex SectionModel::indexOf(const Section* section) const {
    if (!section || hidden()) return {};
    return createIndex(section->row(), 0, const_cast<Section*>(section));
}

QModelIndex SectionModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0 || hidden()) return {};
    const Section* p = sectionAt(parent);
    if (parent.isValid() && parent.column() != 0) return {};
    if (row >= tree_.childCount(p)) return {};
    return createIndex(row, 0, tree_.childAt(p, row));
}

QModelIndex SectionModel::parent(const QModelIndex& child) const {
    const Section* s = sectionAt(child);
    if (!s || hidden()) return {};
    return indexOf(s->parent());
}

int SectionModel::rowCount(const QModelIndex& parent) const {
    if (hidden() || (parent.isValid() && parent.column() != 0)) return 0;
    return tree_.childCount(sectionAt(parent));
}

int SectionModel::columnCount(const QModelIndex&) const { return 1; }

bool SectionModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant SectionModel::data(const QModelIndex& index, int role) const {
    const Section* s = sectionAt(index);
    if (!s || hidden()) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return BytesToQString(s->name());
    case Qt::DecorationRole: return s->hasChildren() ? branchIcon_ : leafIcon_;
    default: return {};
    }
}

bool SectionModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    Section* s = sectionAt(index);
    if (!s || role != Qt::EditRole || readOnly_) return false;
    if (onRename) onRename(s, value.toString());
    return true;
}

Qt::ItemFlags SectionModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    if (!readOnly_) f |= Qt::ItemIsEditable;
    return f;
}

QStringList SectionModel::mimeTypes() const { return {QString::fromLatin1(kMimeType)}; }

QMimeData* SectionModel::mimeData(const QModelIndexList& indexes) const {
    auto* data = new QMimeData;
    // The drag always carries the selected section; the payload only marks the origin.
    data->setData(QString::fromLatin1(kMimeType), QByteArray::number(indexes.size()));
    return data;
}

Qt::DropActions SectionModel::supportedDropActions() const { return Qt::MoveAction; }
Qt::DropActions SectionModel::supportedDragActions() const { return Qt::MoveAction; }

void SectionModel::beginReset() { beginResetModel(); }
void SectionModel::endReset() { endResetModel(); }

// A parent's icon follows whether it has children: after a change, its row is repainted.
void SectionModel::refreshParents() {
    for (Section*& p : touched_) {
        if (p) {
            const QModelIndex i = indexOf(p);
            emit dataChanged(i, i, {Qt::DecorationRole});
        }
        p = nullptr;
    }
}

void SectionModel::beginInsert(Section* parent, int row) {
    touched_[0] = parent;
    beginInsertRows(indexOf(parent), row, row);
}
void SectionModel::endInsert() {
    endInsertRows();
    refreshParents();
}

void SectionModel::beginRemove(Section* parent, int row) {
    touched_[0] = parent;
    beginRemoveRows(indexOf(parent), row, row);
}
void SectionModel::endRemove() {
    endRemoveRows();
    refreshParents();
}

void SectionModel::beginMove(Section* fromParent, int fromRow, Section* toParent, int toRow) {
    touched_[0] = fromParent;
    touched_[1] = toParent;
    // Qt refuses a move that leaves the section where it is (same parent, same place);
    // the tree then changes nothing either.
    moving_ = beginMoveRows(indexOf(fromParent), fromRow, fromRow, indexOf(toParent), toRow);
}
void SectionModel::endMove() {
    if (moving_) endMoveRows();
    moving_ = false;
    refreshParents();
}

void SectionModel::nameChanged(Section* section) {
    const QModelIndex i = indexOf(section);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
}

}  // namespace lark::gui
