#pragma once
// The window's side of lark::IUi: message boxes through the Dialogs provider, the simple
// text of the status bar, and the event pump of long loads (which keeps the window
// painted, shows progress after a moment, and lets no user input through meanwhile).
#include <QElapsedTimer>
#include <QString>

#include "document/interfaces.h"

class QWidget;
class QStatusBar;
class QProgressBar;

namespace lark::gui {

class Dialogs;

class WindowUi : public IUi {
public:
    WindowUi(QWidget* owner, Dialogs& dialogs, QStatusBar* status);

    void showError(const std::string& text) override;
    void showMessage(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void setStatus(const std::string& text) override;
    std::string status() const override;
    void processEvents() override;

    // Simple text of the status bar; it ends a notice.
    void setStatusText(const QString& text);
    QString statusText() const;
    // A notice that outlives the hints: a hint shows over it, and an empty hint (the mouse
    // leaving a control, a menu closing) brings it back. It ends with clearNotice() or any
    // other status text.
    void setNotice(const QString& text);
    void clearNotice();
    void showHint(const QString& hint);

    // Brackets a long operation: after kProgressDelayMs the busy indicator shows.
    void beginBusy(const QString& what);
    void endBusy();
    bool busy() const { return busyDepth_ > 0; }
    bool progressShown() const;
    // Pumps pending events (no user input) when the last pump is older than
    // kPumpIntervalMs, or always when `force` is set.
    void pump(bool force = false);

    static constexpr int kProgressDelayMs = 500;
    static constexpr int kPumpIntervalMs = 100;

private:
    void showProgressWhenDue();

    QWidget* owner_;
    Dialogs& dialogs_;
    QStatusBar* status_;
    QProgressBar* progress_;
    QElapsedTimer busyTimer_, pumpTimer_;
    QString busyText_;
    QString notice_;
    int busyDepth_ = 0;
};

}  // namespace lark::gui
