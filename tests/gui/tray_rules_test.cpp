// The rules of hiding to the tray, without a window system: the list of hidden windows,
// titles and icons, the window's show/hide routine and its close protocol (stand-in tray).
#include <QAction>
#include <QStatusBar>
#include <QTimer>
#include <QtTest>

#include "desktop/hidden_windows.h"
#include "editor/note_editor.h"
#include "support/fake_desktop.h"
#include "support/frame_access.h"
#include "support/window_fixture.h"

using namespace lark;
using guitest::Window;
using lark::guitest::Action;
using lark::guitest::Child;
using Answer = gui::Dialogs::Answer;

namespace {

// Turns "Сворачиваться в трей" on as a click on the menu item does, whatever the stored
// settings had.
void UseTray(gui::TFrame& f) {
    QAction* option = Action(f, "miUseTray");
    option->setChecked(false);
    option->trigger();
}

}  // namespace

class TrayRulesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { guitest::IsolateUserDirectories(); }
    void init() { guitest::UseFakeDesktop(); }
    void hiddenWindowList_data();
    void hiddenWindowList();
    void titlesAndIcons_data();
    void titlesAndIcons();
    void toggleMainWindow_data();
    void toggleMainWindow();
    void closeProtocol_data();
    void closeProtocol();
    void exitFromTray_data();
    void exitFromTray();
    void hotKeyOnStandIns_data();
    void hotKeyOnStandIns();
};

// Operations: "+T" appends a window titled T (handles 1, 2, ...), "-N" clears entry N,
// "*" appends until no id is left. The results, one per operation: the index or -1, ok/no.
void TrayRulesTest::hiddenWindowList_data() {
    QTest::addColumn<QString>("ops");
    QTest::addColumn<QString>("results");
    QTest::addColumn<QString>("live");  // the live entries at the end: index=title
    QTest::newRow("nominal: ids in order") << "+A +B +C"
                                           << "0 1 2"
                                           << "0=A 1=B 2=C";
    QTest::newRow("nominal: a cleared id is never handed out again") << "+A +B -0 +C"
                                                                     << "0 1 ok 2"
                                                                     << "1=B 2=C";
    QTest::newRow("nominal: equal titles are separate entries") << "+A +A -1"
                                                                << "0 1 ok"
                                                                << "0=A";
    QTest::newRow("robustness: cleared twice") << "+A -0 -0"
                                               << "0 ok no"
                                               << "";
    QTest::newRow("robustness: out of range") << "+A -1 --1"
                                              << "0 no no"
                                              << "0=A";
    QTest::newRow("robustness: ids stop below the own icon's") << "* +Z"
                                                               << "32766 -1"
                                                               << "";
}

void TrayRulesTest::hiddenWindowList() {
    QFETCH(QString, ops);
    QFETCH(QString, results);
    QFETCH(QString, live);
    gui::HiddenWindows list;
    QStringList got;
    gui::WindowHandle next = 1;
    for (const QString& op : ops.split(u' ')) {
        if (op == u"*") {
            int last = -1;
            while (list.count() < gui::HiddenWindows::kOwnIconId) last = list.append("x", next++);
            got << QString::number(last);
        } else if (op.startsWith(u'+')) {
            got << QString::number(list.append(op.mid(1).toStdString(), next++));
        } else {
            got << (list.clear(op.mid(1).toInt()) ? "ok" : "no");
        }
    }
    QCOMPARE(got.join(u' '), results);
    QStringList alive;
    for (int i = 0; i < list.count() && list.count() < 100; ++i) {
        if (list.window(i) != 0) alive << QString::number(i) + u'=' + QString::fromStdString(list.title(i));
        else QCOMPARE(list.title(i), std::string());  // cleared in place
    }
    QCOMPARE(alive.join(u' '), live);
}

// Titles are cut by characters, never inside one; the icon is the smallest image of at
// least 16 pixels, or else the largest.
void TrayRulesTest::titlesAndIcons_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("cut");
    QTest::addColumn<QList<quint32>>("sizes");  // width, height of each image in turn
    QTest::addColumn<int>("drop");              // words missing at the end
    QTest::addColumn<QString>("picked");        // "WxH" of the image picked, empty for none
    const QString cyr = QString(130, QChar(0x0416));
    const QString emoji = QString(126, u'a') + QString::fromUcs4(U"\U0001F600\U0001F600");
    using L = QList<quint32>;
    QTest::newRow("nominal: 32, 16, 48") << "abc" << 127 << "abc" << L{32, 32, 16, 16, 48, 48} << 0 << "16x16";
    QTest::newRow("nominal: 8 then 24") << cyr << 127 << cyr.left(127) << L{8, 8, 24, 24} << 0 << "24x24";
    QTest::newRow("nominal: all small: the largest") << emoji << 127 << emoji.left(128) << L{4, 4, 8, 8} << 0 << "8x8";
    QTest::newRow("nominal: one side short") << cyr << 255 << cyr << L{16, 8, 20, 20} << 0 << "20x20";
    QTest::newRow("robustness: empty") << "" << 127 << "" << L{} << 0 << "";
    QTest::newRow("robustness: second image cut short") << "" << 0 << "" << L{16, 16, 24, 24} << 1 << "16x16";
    QTest::newRow("robustness: zero side") << "" << 0 << "" << L{0, 16, 16, 16} << 0 << "";
    QTest::newRow("robustness: size overflows") << "" << 0 << "" << L{0x10000u, 0x10000u} << 0 << "";
}

void TrayRulesTest::titlesAndIcons() {
    QFETCH(QString, title);
    QFETCH(int, limit);
    QFETCH(QString, cut);
    QFETCH(QList<quint32>, sizes);
    QFETCH(int, drop);
    QFETCH(QString, picked);
    QCOMPARE(QString::fromStdString(gui::Utf8Prefix(title.toStdString(), std::size_t(limit))), cut);
    // Each image's pixels hold its width, so that the offset picked is checked too.
    std::vector<std::uint32_t> data;
    for (int i = 0; i + 1 < sizes.size(); i += 2) {
        data.insert(data.end(), {sizes[i], sizes[i + 1]});
        if (std::uint64_t(sizes[i]) * sizes[i + 1] < 4096)
            data.insert(data.end(), std::size_t(sizes[i]) * sizes[i + 1], sizes[i]);
    }
    data.resize(data.size() - std::size_t(drop));
    const auto got = gui::PickSmallIcon(data);
    QCOMPARE(got ? QStringLiteral("%1x%2").arg(got->width).arg(got->height) : QString(), picked);
    if (got) QCOMPARE(data[got->offset], got->width);
}

void TrayRulesTest::toggleMainWindow_data() {
    QTest::addColumn<bool>("useTray");
    QTest::addColumn<bool>("host");
    QTest::addColumn<bool>("saveOnMin");
    QTest::addColumn<bool>("named");
    QTest::addColumn<bool>("forceShow");
    QTest::addColumn<QString>("start");   // shown, hidden, minimized
    QTest::addColumn<QString>("result");  // shown, hidden, minimized
    QTest::addColumn<QString>("save");    // "", "file" written, "dialog" asked
    QTest::newRow("nominal: tray: shown -> hidden") << true << true << false << true << false << "shown"
                                                    << "hidden"
                                                    << "";
    QTest::newRow("nominal: tray: hidden -> shown") << true << true << false << true << false << "hidden"
                                                    << "shown"
                                                    << "";
    QTest::newRow("nominal: tray: minimized -> hidden") << true << true << false << true << false << "minimized"
                                                        << "hidden"
                                                        << "";
    QTest::newRow("nominal: tray: forced show restores") << true << true << false << true << true << "minimized"
                                                         << "shown"
                                                         << "";
    QTest::newRow("nominal: no tray: stays minimized") << false << true << false << true << false << "minimized"
                                                       << "minimized"
                                                       << "";
    QTest::newRow("nominal: no tray: hidden -> shown") << false << true << false << true << false << "hidden"
                                                       << "shown"
                                                       << "";
    QTest::newRow("nominal: saves, then hides") << true << true << true << true << false << "shown"
                                                << "hidden"
                                                << "file";
    QTest::newRow("nominal: saves on a forced show") << true << true << true << true << true << "shown"
                                                     << "shown"
                                                     << "file";
    QTest::newRow("nominal: hidden window: no save") << true << true << true << true << false << "hidden"
                                                     << "shown"
                                                     << "";
    QTest::newRow("nominal: unnamed: restored for the dialog") << false << true << true << false << false << "minimized"
                                                               << "shown"
                                                               << "dialog";
    QTest::newRow("robustness: option without tray host stays") << true << false << false << true << false << "shown"
                                                                << "shown"
                                                                << "";
    QTest::newRow("robustness: option without tray host shows") << true << false << false << true << false << "hidden"
                                                                << "shown"
                                                                << "";
}

void TrayRulesTest::toggleMainWindow() {
    QFETCH(bool, useTray);
    QFETCH(bool, host);
    QFETCH(bool, saveOnMin);
    QFETCH(bool, named);
    QFETCH(bool, forceShow);
    QFETCH(QString, start);
    QFETCH(QString, result);
    QFETCH(QString, save);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("n.lkp"));
    guitest::UseFakeDesktop().trayHost = host;
    Window w;
    gui::TFrame& f = w.frame();
    Action(f, "miUseTray")->setChecked(useTray);
    Action(f, "miSaveOnMin")->setChecked(saveOnMin);
    f.document().FFileName = named ? path.toStdString() : std::string();
    if (start == u"hidden") f.hide();
    if (start == u"minimized") {
        f.showMinimized();
        QTRY_VERIFY(f.isMinimized());
    }
    w.dialogs.saves = {save == u"dialog" ? QString() : QStringLiteral("unused")};
    gui::TFrameTestAccess::ToggleMainWindow(f, forceShow);
    w.waitForSaves();
    const QString got = !f.isVisible() ? "hidden" : f.isMinimized() ? "minimized" : "shown";
    QCOMPARE(got, result);
    QCOMPARE(QFileInfo::exists(path), save == u"file");
    QCOMPARE(w.dialogs.asked.contains(QStringLiteral("save")), save == u"dialog");
}

// Closing: hidden to the tray without a question, unless Exit or the session's end made
// the close final, or there is no tray to hide in.
void TrayRulesTest::closeProtocol_data() {
    QTest::addColumn<bool>("host");
    QTest::addColumn<QString>("first");  // what happens before the close: "", exit-cancel, session-end
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("questions");
    QTest::newRow("nominal: hides without a question") << true << "" << false << 0;
    QTest::newRow("nominal: after Exit and Cancel the close asks") << true << "exit-cancel" << true << 2;
    QTest::newRow("nominal: at the session's end the close asks") << true << "session-end" << true << 1;
    QTest::newRow("robustness: no tray host: the close closes") << false << "" << true << 1;
}

void TrayRulesTest::closeProtocol() {
    QFETCH(bool, host);
    QFETCH(QString, first);
    QFETCH(bool, closes);
    QFETCH(int, questions);
    guitest::FakeDesktopState& desktop = guitest::UseFakeDesktop();
    desktop.trayHost = host;
    Window w;
    gui::TFrame& f = w.frame();
    UseTray(f);
    QVERIFY(desktop.icons.contains(gui::HiddenWindows::kOwnIconId));  // kept for a host to come
    w.type(QStringLiteral("x"));
    if (first == u"exit-cancel") {
        w.dialogs.saveChanges = {Answer::Cancel};
        Action(f, "miExit")->trigger();
        QVERIFY(f.isVisible());  // still running
    }
    if (first == u"session-end") gui::TFrameTestAccess::EndSessionQuery(f);
    w.dialogs.saveChanges.push_back(Answer::No);
    QCOMPARE(f.close(), closes);
    QCOMPARE(f.isVisible(), false);
    QCOMPARE(w.dialogs.asked.count(QStringLiteral("saveChanges")), questions);
    if (!host) QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("Область уведомлений недоступна"));
}

// The tray's Exit ends the program however the window was put away, through the close
// that asks about unsaved changes over the window brought back.
void TrayRulesTest::exitFromTray_data() {
    QTest::addColumn<bool>("hidden");   // hidden to the tray before Exit
    QTest::addColumn<bool>("changed");  // unsaved changes
    QTest::addColumn<bool>("foreign");  // a window hidden with Win+Z as well
    QTest::addColumn<int>("answer");    // to the question: Yes is not used here
    QTest::addColumn<bool>("ends");
    QTest::newRow("nominal: shown, nothing to save") << false << false << false << 0 << true;
    QTest::newRow("nominal: hidden, nothing to save") << true << false << false << 0 << true;
    QTest::newRow("nominal: hidden, changes not kept") << true << true << false << int(Answer::No) << true;
    QTest::newRow("nominal: hidden with a Win+Z window") << true << false << true << 0 << true;
    QTest::newRow("robustness: hidden, Cancel keeps it running")
        << true << true << true << int(Answer::Cancel) << false;
}

void TrayRulesTest::exitFromTray() {
    QFETCH(bool, hidden);
    QFETCH(bool, changed);
    QFETCH(bool, foreign);
    QFETCH(int, answer);
    QFETCH(bool, ends);
    guitest::FakeDesktopState& d = guitest::UseFakeDesktop();
    d.windows[7] = {"Семь", QIcon(), true};
    {
        Window w;
        gui::TFrame& f = w.frame();
        UseTray(f);
        if (changed) w.type(QStringLiteral("x"));
        if (foreign) {
            d.active = 7;
            d.pressHotKey();
            QVERIFY(!d.windows.at(7).mapped);
        }
        if (hidden) {
            gui::TFrameTestAccess::ToggleMainWindow(f, false);
            QVERIFY(!f.isVisible());
        }
        if (changed) w.dialogs.saveChanges = {Answer(answer)};
        // Exit is chosen from the tray's menu while the program runs its event loop.
        QTimer::singleShot(0, &f, [&f] { Action(f, "tmExit")->trigger(); });
        QTimer::singleShot(3000, &f, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec() == 0, ends);
        QCOMPARE(w.dialogs.asked.count(QStringLiteral("saveChanges")), changed ? 1 : 0);
        QCOMPARE(w.dialogs.askedOverHidden, 0);
        QCOMPARE(f.isVisible(), !ends);
        QVERIFY(w.dialogs.unexpected.isEmpty());
    }
    // Once the window is gone, the Win+Z window is back.
    QCOMPARE(d.windows.at(7).mapped, true);
}

// Win+Z and the icons' clicks on stand-in windows: what no real desktop shows at will.
void TrayRulesTest::hotKeyOnStandIns_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("hidden");    // the window is withdrawn after Win+Z
    QTest::addColumn<int>("entries");    // entries at the end
    QTest::addColumn<bool>("restored");  // the window came back through the restore
    QTest::newRow("nominal: no icon: the generic one") << "no-icon" << true << 1 << false;
    QTest::newRow("nominal: middle click leaves it hidden") << "middle" << true << 1 << false;
    QTest::newRow("robustness: no tray host: nothing hidden, no entry") << "no-host" << false << 0 << false;
    QTest::newRow("robustness: window gone: entry cleared quietly") << "gone" << false << 1 << false;
    QTest::newRow("robustness: window destroyed while hidden: icon gone") << "destroyed" << false << 1 << false;
    QTest::newRow("robustness: clicks on unknown or cleared ids") << "unknown" << false << 1 << true;
    QTest::newRow("robustness: hot key taken: status text") << "taken" << false << 0 << false;
}

void TrayRulesTest::hotKeyOnStandIns() {
    QFETCH(QString, kind);
    QFETCH(bool, hidden);
    QFETCH(int, entries);
    QFETCH(bool, restored);
    guitest::FakeDesktopState& d = guitest::UseFakeDesktop();
    d.trayHost = kind != u"no-host";
    if (kind == u"taken") d.grab = gui::WindowSystem::HotKey::Taken;
    d.windows[7] = {"Семь", QIcon(), true};
    d.active = 7;
    Window w;
    gui::TFrame& f = w.frame();
    if (kind == u"taken") {
        QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("Комбинация клавиш Win+Z уже занята"));
        QCOMPARE(f.hiddenWindows().count(), entries);
        return;
    }
    d.pressHotKey();
    if (kind == u"no-host") QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("Область уведомлений недоступна"));
    if (kind == u"no-icon")
        QCOMPARE(d.icons.at(0).image.pixmap(16).toImage(), gui::GenericWindowIcon().pixmap(16).toImage());
    if (kind == u"middle") d.click(0, gui::TrayClick::Middle);
    if (kind == u"gone") {
        d.windows.erase(7);
        d.click(0, gui::TrayClick::Left);
        QVERIFY(!d.icons.contains(0) && f.hiddenWindows().window(0) == 0);
    }
    if (kind == u"destroyed") {
        d.windows[8] = {"Восемь", QIcon(), true};
        d.active = 8;
        d.pressHotKey();
        QVERIFY(d.icons.contains(0) && d.icons.contains(1));
        d.destroy(7);
        QVERIFY(!d.icons.contains(0) && f.hiddenWindows().window(0) == 0);
        QVERIFY(d.icons.contains(1) && f.hiddenWindows().window(1) == 8);
        d.destroy(8);
        QVERIFY(!d.icons.contains(0) && !d.icons.contains(1));
        QCOMPARE(f.hiddenWindows().count(), 2);
        return;
    }
    if (kind == u"unknown") {
        for (int id : {-1, 1, 500}) d.click(id, gui::TrayClick::Left);
        QVERIFY(d.windows.at(7).mapped == false && d.icons.contains(0));
        d.click(0, gui::TrayClick::Right);
        d.click(0, gui::TrayClick::Left);  // cleared by now
    }
    QCOMPARE(f.hiddenWindows().count(), entries);
    if (d.windows.contains(7)) QCOMPARE(d.windows.at(7).mapped, !hidden);
    QCOMPARE(d.restored.size(), std::size_t(restored ? 1 : 0));
}

QTEST_MAIN(TrayRulesTest)
#include "tray_rules_test.moc"
