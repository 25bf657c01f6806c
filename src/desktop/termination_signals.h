#pragma once
// SIGTERM, SIGINT and SIGHUP handed over to the event loop: the handler only writes the
// signal's number into a pipe, and `onSignal` runs on the GUI thread when the loop reads it.
#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace lark::gui {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace lark::gui
