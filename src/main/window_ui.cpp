#include "main/window_ui.h"

#include <QApplication>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include "main/dialogs.h"

namespace lark::gui {

WindowUi::WindowUi(QWidget* owner, Dialogs& dialogs, QStatusBar* status)
    : owner_(owner), dialogs_(dialogs), status_(status), progress_(new QProgressBar(status)) {
    progress_->setObjectName(QStringLiteral("pbBusy"));
    progress_->setRange(0, 0);  // busy indicator: loads and saves do not know their share
    progress_->setMaximumWidth(160);
    progress_->setMaximumHeight(14);
    progress_->setTextVisible(false);
    status_->addPermanentWidget(progress_);
    progress_->hide();
}

void WindowUi::showError(const std::string& text) { dialogs_.errorBox(owner_, QString::fromStdString(text)); }
void WindowUi::showMessage(const std::string& text) { dialogs_.message(owner_, QString::fromStdString(text)); }
bool WindowUi::confirm(const std::string& text) { return dialogs_.confirm(owner_, QString::fromStdString(text)); }

void WindowUi::setStatus(const std::string& text) { setStatusText(QString::fromStdString(text)); }
std::string WindowUi::status() const { return statusText().toStdString(); }

void WindowUi::setStatusText(const QString& text) {
    notice_.clear();
    if (text.isEmpty()) status_->clearMessage();
    else status_->showMessage(text);
}

void WindowUi::setNotice(const QString& text) {
    setStatusText(text);
    notice_ = text;
}

void WindowUi::clearNotice() {
    if (notice_.isEmpty()) return;
    if (statusText() == notice_) status_->clearMessage();
    notice_.clear();
}

void WindowUi::showHint(const QString& hint) {
    const QString shown = hint.isEmpty() ? notice_ : hint;
    if (shown.isEmpty()) status_->clearMessage();
    else status_->showMessage(shown);
}

QString WindowUi::statusText() const { return status_->currentMessage(); }

void WindowUi::processEvents() { pump(); }

void WindowUi::showProgressWhenDue() {
    if (busyDepth_ > 0 && !progress_->isVisible() && busyTimer_.elapsed() >= kProgressDelayMs) {
        progress_->show();
        if (!busyText_.isEmpty()) status_->showMessage(busyText_);
    }
}

void WindowUi::pump(bool force) {
    // The loader calls this every 256 text blocks; pumping at most once per
    // kPumpIntervalMs keeps the window painted without making a large load pay for
    // thousands of event loops.
    if (!force && pumpTimer_.isValid() && pumpTimer_.elapsed() < kPumpIntervalMs) return;
    showProgressWhenDue();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    pumpTimer_.start();
}

void WindowUi::beginBusy(const QString& what) {
    if (busyDepth_++ == 0) {
        busyText_ = what;
        busyTimer_.start();
        pumpTimer_.start();
        // Work that waits in an event loop instead of pumping still shows its progress.
        QTimer::singleShot(kProgressDelayMs, progress_, [this] { showProgressWhenDue(); });
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void WindowUi::endBusy() {
    if (busyDepth_ > 0 && --busyDepth_ == 0) {
        if (progress_->isVisible() && statusText() == busyText_) status_->clearMessage();
        progress_->hide();
        QApplication::restoreOverrideCursor();
    }
}

bool WindowUi::progressShown() const { return progress_->isVisible(); }

}  // namespace lark::gui
