#include "desktop/tray_area.h"

#include <qpa/qplatformnativeinterface.h>
#include <QGuiApplication>
#include <QMenu>
#include <QMetaObject>
#include <QSystemTrayIcon>

namespace lark::gui {

SystemTrayArea::SystemTrayArea() {
    // On X11 the platform announces a tray host that starts or stops; QSystemTrayIcon
    // follows it by itself (every shown icon docks again), the window hears of it here.
    QObject* native = QGuiApplication::platformNativeInterface();
    if (native && native->metaObject()->indexOfSignal("systemTrayWindowChanged(QScreen*)") >= 0)
        connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), this, SLOT(hostChanged()), Qt::QueuedConnection);
}

SystemTrayArea::~SystemTrayArea() {
    for (auto& [id, icon] : icons_) delete icon;
}

void SystemTrayArea::hostChanged() {
    if (onHostChanged) onHostChanged();
}

bool SystemTrayArea::available() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool SystemTrayArea::add(int id, const QIcon& image, const QString& tipText, QMenu* menu, bool waitForHost) {
    remove(id);
    const bool host = available();
    if (!host && !waitForHost) return false;
    auto* icon = new QSystemTrayIcon(image);
    icon->setToolTip(tipText);
    if (menu) icon->setContextMenu(menu);
    connect(icon, &QSystemTrayIcon::activated, this, [this, id](QSystemTrayIcon::ActivationReason reason) {
        if (!onClick) return;
        switch (reason) {
        case QSystemTrayIcon::Trigger: onClick(id, TrayClick::Left); break;
        case QSystemTrayIcon::DoubleClick: onClick(id, TrayClick::Double); break;
        case QSystemTrayIcon::Context: onClick(id, TrayClick::Right); break;
        case QSystemTrayIcon::MiddleClick: onClick(id, TrayClick::Middle); break;
        default: break;
        }
    });
    icons_[id] = icon;
    icon->show();
    return host;
}

void SystemTrayArea::remove(int id) {
    const auto it = icons_.find(id);
    if (it == icons_.end()) return;
    QSystemTrayIcon* icon = it->second;
    icons_.erase(it);
    icon->hide();
    // A click on this very icon may be what removes it.
    icon->deleteLater();
}

QSystemTrayIcon* SystemTrayArea::trayIcon(int id) const {
    const auto it = icons_.find(id);
    return it == icons_.end() ? nullptr : it->second;
}

QIcon SystemTrayArea::icon(int id) const {
    QSystemTrayIcon* icon = trayIcon(id);
    return icon ? icon->icon() : QIcon();
}

QString SystemTrayArea::tip(int id) const {
    QSystemTrayIcon* icon = trayIcon(id);
    return icon ? icon->toolTip() : QString();
}

}  // namespace lark::gui
