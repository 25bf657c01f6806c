// Takes the picture of the window that the README shows: a fixed notebook (a tree, a text
// with a section link, the find-all panel open), the window maximized on the display it
// runs on, the whole screen written as a PNG. Run by scripts/screenshot.sh under Xvfb.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTreeView>
#include <cstdio>

#include "editor/editor.h"
#include "main/find_all_panel.h"
#include "main/tframe.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/scripted_dialogs.h"

using namespace lark;
using guitest::Cp1251;

namespace {

// Answers the find-all box with a fixed word; every other question is left unanswered.
class FindAllAnswer : public guitest::ScriptedDialogs {
public:
    bool inputBox(QWidget*, const QString&, const QString&, QString& value) override {
        value = QStringLiteral("молоко");
        return true;
    }
};

void WriteSample(const QString& path) {
    const std::string shopping =
        Cp1251("Молоко, хлеб, яблоки.\r\nВ субботу: молоко для блинов.\r\n\r\nРецепт блинов: file://@Блины");
    guitest::WriteNotebook(
        path,
        {{0, Cp1251("Дом"), Cp1251("Всё о доме.")},
         {1, Cp1251("Покупки"), shopping},
         {1, Cp1251("Ремонт"), Cp1251("Кухня: покрасить стены до 15.06.27.")},
         {0, Cp1251("Кулинария"), Cp1251("Рецепты, проверенные временем.")},
         {1, Cp1251("Блины"), Cp1251("Молоко 500 мл, два яйца, мука 200 г.\r\nЖарить на горячей сковороде.")},
         {1, Cp1251("Салаты"), Cp1251("Греческий, оливье.")},
         {0, Cp1251("Работа"), Cp1251("Отчёт к пятнице.\r\nКупить молоко в офис.")},
         {0, Cp1251("Книги"), Cp1251("Прочитать: «Мастер и Маргарита».")}},
        1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("larkpad-screenshot"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    const QString notebook = dir.filePath(QStringLiteral("Заметки.lkp"));
    WriteSample(notebook);

    FindAllAnswer dialogs;
    gui::TFrame frame(dialogs, {notebook});
    frame.showMaximized();
    if (!guitest::WaitUntilReady(frame, 10000)) {
        std::fprintf(stderr, "the notebook did not open\n");
        return 1;
    }
    frame.findChild<QAction*>(QStringLiteral("miFindAll"))->trigger();
    auto* panel = frame.findChild<gui::FindAllPanel*>();
    if (!panel || !QTest::qWaitFor([&] { return panel->isVisible() && !panel->running(); }, 10000)) {
        std::fprintf(stderr, "the find-all panel did not fill\n");
        return 1;
    }
    frame.findChild<QTreeView*>(QStringLiteral("tvNodes"))->expandAll();
    // The status bar would show the temporary folder's name, different at every run.
    frame.statusBar()->clearMessage();
    // The caret rests at the end of the text, after the link.
    auto* editor = frame.findChild<gui::NoteEditor*>(QStringLiteral("reNodeContent"));
    editor->moveCursor(QTextCursor::End);
    editor->setFocus();
    QTest::qWait(1500);  // the window manager's frame, the first paint
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (shot.isNull() || !shot.save(output, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s %dx%d\n", argv[1], shot.width(), shot.height());
    if (dialogs.errors.isEmpty()) return 0;
    std::fprintf(stderr, "%s\n", qPrintable(dialogs.errors.join(QLatin1Char('\n'))));
    return 1;
}
