#pragma once
// Errors never cross a Qt slot: every command runs through RunCommand, which ends it
// quietly on the silent abort and shows any other error the way unhandled errors are
// shown (application title, error icon, a full stop after a text that needs one).
#include <QApplication>
#include <QString>
#include <functional>

class QWidget;

namespace lark::gui {

class Dialogs;

// The error text as the unhandled-error box shows it: "." appended when the code of its
// last character is greater than the code of ".".
QString WithFullStop(const QString& text);

// Where unhandled errors go: set by the main window; without one, stderr.
void SetUnhandledErrorSink(std::function<void(const QString&)> sink);
void ShowUnhandledError(const QString& text);

// Runs `command`; returns false when it ended with an error or the silent abort.
bool RunCommand(const std::function<void()>& command);

// The application object: a backstop for exceptions thrown from event handlers that did
// not go through RunCommand.
class LarkApplication : public QApplication {
public:
    LarkApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace lark::gui
