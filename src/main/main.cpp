// Program entry of the Larkpad window.
#include <csignal>

#include "desktop/termination_signals.h"
#include "main/app_texts.h"
#include "main/command_runner.h"
#include "main/dialogs.h"
#include "main/icons.h"
#include "main/qt_translations.h"
#include "main/tframe.h"

int main(int argc, char** argv) {
    // A save past the file size limit is reported as a failed write, not a killed program.
    std::signal(SIGXFSZ, SIG_IGN);
    lark::gui::LarkApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("larkpad"));
    QApplication::setOrganizationName(QStringLiteral("larkpad"));
    QApplication::setWindowIcon(lark::gui::ProgramIcon());
    // Qt's own buttons and dialogs speak the program's language.
    lark::gui::InstallQtTranslations(app);

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    lark::gui::Dialogs dialogs;
    lark::gui::TFrame frame(dialogs, arguments);
    // Killed or hung up: the windows Win+Z hid come back before the program ends.
    lark::gui::TerminationSignals handover([&frame](int signal) { frame.TerminateBySignal(signal); });
    return QApplication::exec();
}
