// Life in the notification area: the own tray icon, hiding and showing the window, the
// real exit, and Win+Z, which parks any window in the foreground as a tray icon of its own.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "desktop/desktop.h"
#include "document/document.h"
#include "main/app_texts.h"
#include "main/icons.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

namespace {

constexpr int kOwnIconId = HiddenWindows::kOwnIconId;

// After hiding to the tray: hand the memory the heap keeps back to the system.
void TrimMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

}  // namespace

void TFrame::createDesktop() {
    Desktop desktop = MakeDesktop();
    tray_ = std::move(desktop.tray);
    windows_ = std::move(desktop.windows);
    shell = std::move(desktop.shell);
    tray_->onClick = [this](int id, TrayClick click) {
        // Out of the tray's own event: the handlers may show dialogs or remove that icon.
        QTimer::singleShot(0, this, [this, id, click] { runCommand([&] { WMTrayNotify(id, click); }); });
    };
    tray_->onHostChanged = [this] { trayHostChanged(); };
    windows_->onHotKey = [this] { runCommand([this] { WMHotKey(); }); };
    windows_->onWindowGone = [this](WindowHandle window) { ForgetHiddenWindow(window); };
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { EndSessionQuery(); });
        // Quit without a close of the window (the session ends): the unsaved work stays.
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            if (!FTerminating && !signalled_) keepUnsavedWork();
        });
    }
}

bool TFrame::trayModeOn() const { return miUseTray->isChecked() && tray_->available(); }

void TFrame::desktopNotice(const QString& text) {
    ui_->setStatusText(text);
    if (FirstActivation) startNotice_ = text;
}

void TFrame::noteTrayMissing() {
    if (trayNoticeShown_) return;
    trayNoticeShown_ = true;
    desktopNotice(QString::fromUtf8(kTrayMissingText));
}

void TFrame::RegisterHotKey() {
    const WindowSystem::HotKey result = windows_->grabHotKey();
    hotKeyGrabbed_ = result == WindowSystem::HotKey::Grabbed;
    hotKeyMissing_ = result == WindowSystem::HotKey::Unavailable;
    if (result == WindowSystem::HotKey::Taken) desktopNotice(QString::fromUtf8(kHotKeyTakenText));
    // Without X11 there is no Win+Z; that is worth a word where the option that names it is on.
    else if (result == WindowSystem::HotKey::Unavailable && miUseTray->isChecked() && tray_->available())
        desktopNotice(QString::fromUtf8(kHotKeyMissingText));
}

void TFrame::SetTrayMode(bool on) {
    if (on) {
        // Without a tray host yet, the icon waits for one.
        tray_->add(kOwnIconId, ProgramIcon(), QStringLiteral("Larkpad"), pmTray, true);
        if (!tray_->available()) noteTrayMissing();
    } else {
        tray_->remove(kOwnIconId);
    }
}

void TFrame::trayHostChanged() {
    // The icons dock again by themselves when a host comes back. A window hidden to the
    // tray must not stay out of reach while there is none.
    if (!tray_->available() && miUseTray->isChecked() && isHidden() && !destroyed_) {
        noteTrayMissing();
        ToggleMainWindow(true);
    }
}

void TFrame::miUseTrayClick() {
    SetTrayMode(miUseTray->isChecked());
    if (miUseTray->isChecked() && tray_->available() && hotKeyMissing_)
        desktopNotice(QString::fromUtf8(kHotKeyMissingText));
}

void TFrame::ToggleMainWindow(bool forceShow) {
    auto restoreFromMinimized = [this] {
        if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    };
    if (miSaveOnMin->isChecked() && isVisible()) {
        if (doc_->FFileName.empty()) restoreFromMinimized();
        miSaveClick();
    }
    if (trayModeOn()) {
        if (!forceShow && isVisible()) {
            hide();
            TrimMemory();
        } else {
            show();
        }
        if (isVisible()) {
            restoreFromMinimized();
            raise();
            activateWindow();
        }
    } else {
        if (miUseTray->isChecked()) noteTrayMissing();
        if (!isVisible()) show();
    }
}

void TFrame::AppMinimize() { ToggleMainWindow(false); }

void TFrame::QuitProgram() {
    FCloseRequested = true;
    // Qt ends the event loop when the last visible window closes; a window hidden to the
    // tray (or brought back only for the question) is not counted, so the end is asked
    // for here once the close went through.
    if (close()) QCoreApplication::quit();
}

void TFrame::EndSessionQuery() {
    // The session is ending: closes from now on are final. Nothing is asked; a copy of the
    // unsaved changes and the settings are written now, as the session may end the program
    // without a close.
    FCloseRequested = true;
    keepUnsavedWork();
}

void TFrame::WMHotKey() {
    const WindowHandle foreground = windows_->activeWindow();
    if (foreground == 0) return;
    if (foreground == WindowHandle(winId())) {
        ToggleMainWindow(false);
        return;
    }
    if (!tray_->available()) {
        // Hidden with no icon to bring it back, the window would be lost.
        noteTrayMissing();
        return;
    }
    const QIcon icon = GetWindowIcon(foreground);
    const QString title = GetWindowTitle(foreground);
    const int index = FHiddenWindows.append(title.toStdString(), foreground);
    if (index < 0) return;
    const QString tip = FromUtf8(Utf8Prefix(title.toStdString(), kTipMaxChars));
    if (tray_->add(index, icon, tip, nullptr, false)) windows_->withdraw(foreground);
}

QIcon TFrame::GetWindowIcon(WindowHandle window) {
    QIcon icon = windows_->windowIcon(window);
    return icon.isNull() ? GenericWindowIcon() : icon;
}

QString TFrame::GetWindowTitle(WindowHandle window) {
    return FromUtf8(Utf8Prefix(windows_->windowTitle(window), kTitleMaxChars));
}

void TFrame::WMTrayNotify(int id, TrayClick click) {
    if (id == kOwnIconId) {
        // The own icon's pop-up menu is the tray's: it opens pmTray on a right click.
        if (click == TrayClick::Left) ToggleMainWindow(false);
        return;
    }
    if (click == TrayClick::Left || click == TrayClick::Double || click == TrayClick::Right) RestoreHiddenWindow(id);
}

void TFrame::RestoreHiddenWindow(int index) {
    const WindowHandle window = FHiddenWindows.window(index);
    if (window == 0) return;
    windows_->restore(window);
    tray_->remove(index);
    FHiddenWindows.clear(index);
}

void TFrame::ForgetHiddenWindow(WindowHandle window) {
    // Its program ended: nothing is left to bring back, and its icon goes.
    for (int i = 0; i < FHiddenWindows.count(); ++i)
        if (window != 0 && FHiddenWindows.window(i) == window) {
            tray_->remove(i);
            FHiddenWindows.clear(i);
        }
}

void TFrame::RestoreHiddenWindows() {
    const int count = FHiddenWindows.count();
    for (int i = 0; i < count; ++i) RestoreHiddenWindow(i);
}

void TFrame::TerminateBySignal(int signal) {
    if (signalled_) return;
    // A tree being loaded or changed by a worker cannot be copied: the end waits for it.
    if (!idle()) {
        QTimer::singleShot(50, this, [this, signal] { TerminateBySignal(signal); });
        return;
    }
    signalled_ = true;
    keepUnsavedWork();
    RestoreHiddenWindows();
    if (hotKeyGrabbed_) windows_->ungrabHotKey();
    hotKeyGrabbed_ = false;
    tray_->remove(kOwnIconId);
    QCoreApplication::exit(128 + signal);
}

}  // namespace lark::gui
