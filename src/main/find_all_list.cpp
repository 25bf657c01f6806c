#include "main/find_all_list.h"

#include <QApplication>
#include <QPainter>

#include "document/section_tree.h"
#include "editor/editor.h"

namespace lark::gui {

void FindAllModel::append(std::vector<Entry>&& entries) {
    if (entries.empty()) return;
    const int first = static_cast<int>(entries_.size());
    beginInsertRows({}, first, first + static_cast<int>(entries.size()) - 1);
    if (entries_.empty()) entries_ = std::move(entries);
    else std::move(entries.begin(), entries.end(), std::back_inserter(entries_));
    endInsertRows();
}

void FindAllModel::clear() {
    gone_.clear();
    if (entries_.empty()) return;
    beginResetModel();
    entries_.clear();
    entries_.shrink_to_fit();
    endResetModel();
}

void FindAllModel::forget(const Section* top) {
    std::vector<const Section*> pending{top};
    while (!pending.empty()) {
        const Section* s = pending.back();
        pending.pop_back();
        gone_.insert(s);
        for (int i = 0; i < s->childCount(); ++i) pending.push_back(s->child(i));
    }
}

Section* FindAllModel::sectionOf(int row) const {
    Section* section = entry(row).section;
    return section && !gone_.contains(section) ? section : nullptr;
}

int FindAllModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

int FindAllModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant FindAllModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const FindAllRow& r = entries_[static_cast<std::size_t>(index.row())].row;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case PathColumn: {
            // The section's own name first, the sections above it after: a narrow column
            // still shows which section a row is in.
            const std::string_view path = *r.path;
            const std::size_t at = std::min(r.nameAt, path.size());
            const QString name = BytesToQString(path.substr(at));
            if (at < kPathSeparator.size()) return name;
            return name + QStringLiteral(" \u2190 ") + BytesToQString(path.substr(0, at - kPathSeparator.size()));
        }
        case LineColumn: return r.inName ? QStringLiteral("имя") : QString::number(r.line);
        case TextColumn: return BytesToQString(r.snippet);
        default: return {};
        }
    case Qt::TextAlignmentRole:
        if (index.column() == LineColumn) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case MatchStartRole: return static_cast<int>(r.snippetMatch);
    case MatchLengthRole: return static_cast<int>(r.length);
    default: return {};
    }
}

QVariant FindAllModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
    case PathColumn: return QStringLiteral("Раздел");
    case LineColumn: return QStringLiteral("Строка");
    case TextColumn: return QStringLiteral("Текст");
    default: return {};
    }
}

void SnippetDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const int start = std::clamp(index.data(FindAllModel::MatchStartRole).toInt(), 0, static_cast<int>(text.size()));
    const int length =
        std::clamp(index.data(FindAllModel::MatchLengthRole).toInt(), 0, static_cast<int>(text.size()) - start);
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(2, 0, -2, 0);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    painter->setClipRect(area);
    painter->setPen(opt.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    QFont bold = opt.font;
    bold.setBold(true);
    int x = area.left();
    const auto part = [&](const QString& s, const QFont& font) {
        if (s.isEmpty() || x > area.right()) return;
        painter->setFont(font);
        const QRect r(x, area.top(), area.right() - x + 1, area.height());
        painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, s);
        x += QFontMetrics(font).horizontalAdvance(s);
    };
    part(text.left(start), opt.font);
    part(text.mid(start, length), bold);
    part(text.mid(start + length), opt.font);
    painter->restore();
}

}  // namespace lark::gui
