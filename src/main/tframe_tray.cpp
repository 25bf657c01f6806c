// Hiding to the notification area, showing the window again, and the real exit.
#include <QAction>

#include "main/tframe.h"

namespace lark::gui {

void TFrame::SetTrayMode(bool on) {
    // The notification-area icon comes with the tray change.
    (void)on;
}

void TFrame::ToggleMainWindow(bool forceShow) {
    if (forceShow || isHidden()) {
        showNormal();
        raise();
        activateWindow();
    } else {
        hide();
    }
}

void TFrame::QuitProgram() {
    FCloseRequested = true;
    close();
}

void TFrame::miUseTrayClick() { SetTrayMode(miUseTray->isChecked()); }

}  // namespace lark::gui
