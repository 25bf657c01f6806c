#pragma once
// The list of the find-all panel: a table model over the rows the search delivers (kept as
// the core gives them, in Windows-1251; converted only for the rows on show) and the
// delegate that draws a snippet with its match in bold.
#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <unordered_set>
#include <vector>

#include "search/find_all.h"

namespace lark {
class Section;
}

namespace lark::gui {

class FindAllModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { PathColumn, LineColumn, TextColumn, ColumnCount };
    // The match within the snippet (TextColumn): start and length in characters.
    static constexpr int MatchStartRole = Qt::UserRole + 1;
    static constexpr int MatchLengthRole = Qt::UserRole + 2;

    struct Entry {
        FindAllRow row;
        Section* section = nullptr;  // the section found; compare only, it may be gone
    };

    using QAbstractTableModel::QAbstractTableModel;

    void append(std::vector<Entry>&& entries);
    // Empties the list and forgets the sections noted as gone.
    void clear();
    const Entry& entry(int row) const { return entries_[static_cast<std::size_t>(row)]; }
    // Notes `top` and every section below it as gone from the tree, while they are still
    // there to be walked: their rows, listed or still to come, lead nowhere.
    void forget(const Section* top);
    // The section a row was found in; null when it has gone since.
    Section* sectionOf(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<Entry> entries_;
    std::unordered_set<const Section*> gone_;  // never looked into: only compared
};

// Draws the snippet column: the text before the match, the match in bold, the rest.
class SnippetDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace lark::gui
