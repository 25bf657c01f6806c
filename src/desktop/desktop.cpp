#include "desktop/desktop.h"

#include <QApplication>
#include <QStyle>

#include "desktop/x11_window_system.h"

namespace lark::gui {

namespace {
DesktopFactory& factory() {
    static DesktopFactory f;
    return f;
}
}  // namespace

void SetDesktopFactory(DesktopFactory f) { factory() = std::move(f); }

Desktop MakeDesktop() {
    if (factory()) return factory()();
    return {std::make_unique<SystemTrayArea>(), MakeWindowSystem(), DesktopShell()};
}

std::unique_ptr<WindowSystem> MakeWindowSystem() {
    if (auto x11 = X11WindowSystem::create()) return x11;
    return std::make_unique<NoWindowSystem>();
}

QIcon GenericWindowIcon() {
    QIcon themed = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (!themed.isNull()) return themed;
    return QApplication::style()->standardIcon(QStyle::SP_DesktopIcon);
}

}  // namespace lark::gui
