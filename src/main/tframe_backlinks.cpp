// "Ссылки на раздел" (in "&Инфо" and the tree's pop-up menu): the links that lead to the
// selected section, listed in a panel of the find-all kind under the editor.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTreeView>

#include "main/find_all_panel.h"
#include "main/tframe.h"
#include "main/window_ui.h"
#include "search/backlinks.h"

namespace lark::gui {

void TFrame::createBacklinksItems() {
    miBacklinks = makeAction("miBacklinks", kBacklinksCaption, nullptr, QKeySequence(),
                             "Все ссылки file://@ на выбранный раздел", &TFrame::miBacklinksClick);
    mnInfo->addSeparator();
    mnInfo->addAction(miBacklinks);
    addAction(miBacklinks);
    pmBacklinks = new QAction(QString::fromUtf8(kBacklinksCaption), pmNodesMenu);
    pmBacklinks->setObjectName(QStringLiteral("pmBacklinks"));
    pmBacklinks->setStatusTip(miBacklinks->statusTip());
    connect(pmBacklinks, &QAction::triggered, miBacklinks, &QAction::trigger);
    pmNodesMenu->addSeparator();
    pmNodesMenu->addAction(pmBacklinks);
}

void TFrame::miBacklinksClick() {
    if (!dkBacklinks) {
        dkBacklinks = new FindAllPanel(*this, *this, *reNodeContent);
        // Named apart from the find-all panel, whose parts the window finds by name.
        dkBacklinks->setObjectName(QStringLiteral("dkBacklinks"));
        dkBacklinks->findChild<QLabel*>(QStringLiteral("lbFindAll"))->setObjectName(QStringLiteral("lbBacklinks"));
        dkBacklinks->findChild<QTreeView*>(QStringLiteral("lvFindAll"))->setObjectName(QStringLiteral("lvBacklinks"));
        dkBacklinks->setWindowTitle(QString::fromUtf8(kBacklinksCaption));
        dkBacklinks->emptySummary = QString::fromUtf8(kNoBacklinksText);
        addDockWidget(Qt::BottomDockWidgetArea, dkBacklinks);
        if (dkFindAll) tabifyDockWidget(dkFindAll, dkBacklinks);
        dkBacklinks->hide();
    }
    Section* section = doc_->selected();
    if (!section) {
        ui_->setStatusText(QStringLiteral("Сначала выберите раздел"));
        return;
    }
    // The panel searches a snapshot, the text being edited included.
    if (LinksLeadTo(doc_->tree(), section)) {
        dkBacklinks->search = [](const NotebookSnapshot& notebook, std::string_view name, const FindAllSink& sink,
                                 const std::atomic<bool>* stop) { return FindLinksTo(notebook, name, sink, stop); };
    } else {
        // A later section of the same name takes every link: none lead here.
        dkBacklinks->search = [](const NotebookSnapshot&, std::string_view, const FindAllSink&,
                                 const std::atomic<bool>*) { return FindAllOutcome{}; };
    }
    dkBacklinks->start(std::string(section->name()));
}

}  // namespace lark::gui
