#pragma once
// The "Недавние" menu: its items stay choosable, and the item of a notebook no longer on
// disk is drawn greyed, as a disabled item is (choosing it removes it from the list).
#include <QMenu>
#include <QStyleOptionMenuItem>

namespace lark::gui {

class RecentMenu : public QMenu {
public:
    using QMenu::QMenu;
    // Marks `action` as a notebook no longer there.
    static void setMissing(QAction* action, bool missing);
    static bool missing(const QAction* action);
    // How the item of `action` is drawn.
    QStyleOptionMenuItem itemOption(const QAction* action) const;

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override;
};

}  // namespace lark::gui
