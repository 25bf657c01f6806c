#pragma once
// The conflicts a merge left, listed under the editor as the find-all panel lists matches:
// the section's path and what clashed; activating a row selects the section (ours). A
// section deleted since is not visited; a rebuilt tree empties the list.
#include <QDockWidget>
#include <vector>

#include "merge/notebook_merge.h"

class QMainWindow;
class QTreeWidget;
class QTreeWidgetItem;

namespace lark {
class Section;
}

namespace lark::gui {

class FindAllHost;

class ConflictsPanel : public QDockWidget {
    Q_OBJECT
public:
    ConflictsPanel(QMainWindow& window, FindAllHost& host);
    // Lists `conflicts` of the notebook now in the window (their indices point into it).
    void show(const std::vector<merge::MergeConflict>& conflicts);
    void activate(int row);
    int rowCount() const;

private:
    QMainWindow& window_;
    FindAllHost& host_;
    QTreeWidget* list_;
    std::vector<Section*> sections_;  // by row; null once the section is gone
};

}  // namespace lark::gui
