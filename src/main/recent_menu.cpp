#include "main/recent_menu.h"

#include <QAction>
#include <QVariant>

namespace lark::gui {

namespace {
constexpr const char* kMissingProperty = "larkpadMissing";
}  // namespace

void RecentMenu::setMissing(QAction* action, bool missing) { action->setProperty(kMissingProperty, missing); }
bool RecentMenu::missing(const QAction* action) { return action->property(kMissingProperty).toBool(); }

QStyleOptionMenuItem RecentMenu::itemOption(const QAction* action) const {
    QStyleOptionMenuItem option;
    initStyleOption(&option, action);
    return option;
}

void RecentMenu::initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const {
    QMenu::initStyleOption(option, action);
    if (!missing(action)) return;
    // The colours of a disabled item, the highlight of the item under the mouse kept.
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            option->palette.setBrush(group, role, option->palette.brush(QPalette::Disabled, role));
}

}  // namespace lark::gui
