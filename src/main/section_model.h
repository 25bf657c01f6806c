#pragma once
// A thin Qt item model over the notebook's SectionTree: it stores nothing of its own and
// forwards the tree's change notices as Qt's begin/end calls. While the tree is being
// rebuilt in bulk (a load), the model reports itself empty; the end of the bulk update
// is one model reset.
#include <QAbstractItemModel>
#include <QIcon>
#include <functional>

#include "document/section_tree.h"

namespace lark::gui {

class SectionModel : public QAbstractItemModel, public TreeObserver {
    Q_OBJECT
public:
    explicit SectionModel(SectionTree& tree, QObject* parent = nullptr);
    ~SectionModel() override;

    static constexpr const char* kMimeType = "application/x-larkpad-section";

    QModelIndex indexOf(const Section* section) const;
    static Section* sectionAt(const QModelIndex& index);

    // A committed name edit: the view's editor hands the typed text here.
    std::function<void(Section*, const QString&)> onRename;
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool readOnly() const { return readOnly_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;

    // TreeObserver
    void beginReset() override;
    void endReset() override;
    void beginInsert(Section* parent, int row) override;
    void endInsert() override;
    void beginRemove(Section* parent, int row) override;
    void endRemove() override;
    void beginMove(Section* fromParent, int fromRow, Section* toParent, int toRow) override;
    void endMove() override;
    void nameChanged(Section* section) override;

private:
    bool hidden() const { return tree_.updating(); }
    void refreshParents();

    SectionTree& tree_;
    bool readOnly_ = false;
    bool moving_ = false;
    Section* touched_[2] = {nullptr, nullptr};
    QIcon leafIcon_, branchIcon_;
};

}  // namespace lark::gui
