// "Недавние": the rules of the list (order, limit, repeats), its ini section beside the
// window's keys, and the menu of a real window (greyed and vanished notebooks, clearing).
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <random>

#include "main/ini_file.h"
#include "main/recent_menu.h"
#include "main/recent_notebooks.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;

class RecentNotebooksTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void agreesWithAModel();
    void iniSectionOfItsOwn();
    void menuOfTheWindow();
};

// Random adds and removes against the plain rule: most recent first, no repeats, nine.
void RecentNotebooksTest::agreesWithAModel() {
    std::mt19937 rng(9);
    gui::RecentNotebooks list;
    std::vector<std::string> model;
    for (int step = 0; step < 2000; ++step) {
        const std::string path = "/n/" + std::to_string(rng() % 14) + ".lkp";
        const bool had = std::erase(model, path) > 0;
        if (rng() % 5 == 0) {
            QCOMPARE(list.remove(path), had);
        } else {
            model.insert(model.begin(), path);
            if (model.size() > 9) model.pop_back();
            list.add(path);
        }
        QVERIFY(list.paths() == model);
    }
    for (const char* refused : {"", "/a\nb.lkp", "/a\rb.lkp"}) {
        list.add(refused);
        QVERIFY(list.paths() == model);
    }
}

void RecentNotebooksTest::iniSectionOfItsOwn() {
    const std::string text = "[Settings]\nWordWrap=1\nLeft=5\n\n[Other]\nx=y\n";
    IniFile ini = IniFile::parse(text);
    gui::RecentNotebooks list, back;
    list.add("/b.lkp");
    list.add("/a.lkp");
    list.write(ini);
    const std::string written = ini.text();
    QVERIFY2(written.starts_with(text), written.c_str());  // the other keys stay, in their order
    back.read(IniFile::parse(written));
    QVERIFY(back.paths() == list.paths());
    // Empty keys and repeats are skipped, at most nine read.
    back.read(IniFile::parse("[Recent]\nFile1=/x\nFile2=\nFile3=/x\nFile4=/y\nFile10=/z\n"));
    QVERIFY((back.paths() == std::vector<std::string>{"/x", "/y"}));
}

void RecentNotebooksTest::menuOfTheWindow() {
    const QString a = dir_.filePath(QStringLiteral("a.lkp")), b = dir_.filePath(QStringLiteral("b.lkp"));
    WriteNotebook(a, {{0, "A", "a"}}, 0);
    WriteNotebook(b, {{0, "B", "b"}}, 0);
    { Window first({a}); }  // the list outlives the window, in the ini
    Window w({b});
    auto* menu = w.frame().findChild<gui::RecentMenu*>(QStringLiteral("mnRecent"));
    QVERIFY(menu);
    auto item = [&](const char* name) { return Action(*menu, name)->text(); };
    emit menu->aboutToShow();
    QCOMPARE(item("miRecent1") + item("miRecent2"), QStringLiteral("&1 ") + b + QStringLiteral("&2 ") + a);
    w.trigger(Action(*menu, "miRecent2"));  // opens, and comes first
    QCOMPARE(w.name(0), std::string("A"));
    QCOMPARE(item("miRecent1"), QStringLiteral("&1 ") + a);

    // A notebook gone is greyed as a disabled item is, and leaves the list when chosen.
    const auto colour = [&](const char* name) {
        return menu->itemOption(Action(*menu, name)).palette.color(QPalette::Active, QPalette::Text);
    };
    const QColor normal = menu->palette().color(QPalette::Active, QPalette::Text);
    const QColor grey = menu->palette().color(QPalette::Disabled, QPalette::Text);
    QVERIFY(grey != normal && colour("miRecent2") == normal);
    QFile::remove(b);
    emit menu->aboutToShow();
    QVERIFY(colour("miRecent2") == grey && colour("miRecent1") == normal);
    w.trigger(Action(*menu, "miRecent2"));
    QVERIFY(w.dialogs.messages.size() == 1 && w.dialogs.messages[0].endsWith(b));
    QVERIFY(!menu->findChild<QAction*>(QStringLiteral("miRecent2")));
    QCOMPARE(w.name(0), std::string("A"));
    w.trigger(Action(*menu, "miRecentClear"));
    QVERIFY(!menu->findChild<QAction*>(QStringLiteral("miRecent1")));
    QVERIFY(!Action(*menu, "miRecentClear")->isEnabled());
}

QTEST_MAIN(RecentNotebooksTest)
#include "recent_notebooks_test.moc"
