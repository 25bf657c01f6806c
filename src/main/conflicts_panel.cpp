#include "main/conflicts_panel.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QTreeWidget>

#include "document/cp1251.h"
#include "document/document.h"
#include "main/find_all_host.h"
#include "main/section_model.h"

namespace lark::gui {

namespace {
QString FromBytes(std::string_view bytes) { return QString::fromStdString(cp1251::toUtf8(bytes)); }
}  // namespace

ConflictsPanel::ConflictsPanel(QMainWindow& window, FindAllHost& host)
    : QDockWidget(QStringLiteral("Конфликты объединения"), &window), window_(window), host_(host) {
    setObjectName(QStringLiteral("dkConflicts"));
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("lvConflicts"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("Раздел"), QStringLiteral("Конфликт")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->header()->setStretchLastSection(true);
    setWidget(list_);
    connect(list_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item, int) { activate(list_->indexOfTopLevelItem(item)); });
    window_.addDockWidget(Qt::BottomDockWidgetArea, this);
    hide();
    // A rebuilt tree (undo of the merge, a load) leaves the rows pointing nowhere; a removed
    // section's rows lead nowhere from then on.
    SectionModel* sections = host_.sectionModel();
    connect(sections, &QAbstractItemModel::modelReset, this, [this] { show({}); });
    connect(sections, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this, sections](const QModelIndex& parent, int first, int last) {
                for (int row = first; row <= last; ++row)
                    if (const Section* gone = SectionModel::sectionAt(sections->index(row, 0, parent)))
                        for (Section*& s : sections_)
                            if (s && gone->contains(s)) s = nullptr;
            });
}

void ConflictsPanel::show(const std::vector<merge::MergeConflict>& conflicts) {
    list_->clear();
    sections_.clear();
    if (conflicts.empty()) {
        hide();
        return;
    }
    const SectionTree& tree = host_.document().tree();
    for (const merge::MergeConflict& c : conflicts) {
        QString what;
        if (c.kind == merge::MergeConflict::Kind::Text) {
            const Section* copy = tree.at(c.copy);
            what = QStringLiteral("их текст в разделе «%1»").arg(copy ? FromBytes(copy->name()) : QString());
        } else {
            what = QStringLiteral("их имя «%1»").arg(FromBytes(c.theirName));
        }
        list_->addTopLevelItem(new QTreeWidgetItem({FromBytes(c.path), what}));
        sections_.push_back(tree.at(c.section));
    }
    list_->resizeColumnToContents(0);
    QDockWidget::show();
    window_.resizeDocks({this}, {window_.height() / 4}, Qt::Vertical);
    raise();
}

int ConflictsPanel::rowCount() const { return list_->topLevelItemCount(); }

void ConflictsPanel::activate(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= sections_.size()) return;
    host_.runCommand([this, row] {
        Document& doc = host_.document();
        Section* found = sections_[static_cast<std::size_t>(row)];
        if (!found) {
            host_.setStatusText(QStringLiteral("Раздела больше нет"));
            return;
        }
        doc.SelectSection(found);
        doc.view().focusTree();
    });
}

}  // namespace lark::gui
