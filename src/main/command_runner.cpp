#include "main/command_runner.h"

#include <cstdio>
#include <exception>
#include <new>

#include "document/errors.h"

namespace lark::gui {

namespace {
std::function<void(const QString&)>& sink() {
    static std::function<void(const QString&)> s;
    return s;
}
}  // namespace

QString WithFullStop(const QString& text) {
    if (!text.isEmpty() && text.back().unicode() > u'.') return text + u'.';
    return text;
}

void SetUnhandledErrorSink(std::function<void(const QString&)> s) { sink() = std::move(s); }

void ShowUnhandledError(const QString& text) {
    const QString shown = WithFullStop(text);
    if (sink()) sink()(shown);
    else std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
}

bool RunCommand(const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const SilentAbort&) {
    } catch (const std::bad_alloc&) {
        ShowUnhandledError(QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        ShowUnhandledError(QString::fromUtf8(e.what()));
    } catch (...) {
        ShowUnhandledError(QStringLiteral("Unknown error"));
    }
    return false;
}

LarkApplication::LarkApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool LarkApplication::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    RunCommand([&] { result = QApplication::notify(receiver, event); });
    return result;
}

}  // namespace lark::gui
