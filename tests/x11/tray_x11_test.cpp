// Win+Z, tray icons and hiding on a real desktop: Xvfb with openbox and tint2, started by
// this program before the application. Foreign windows are foreign_window processes; the
// keys and clicks come through XTest.
#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QtTest>
#include <csignal>
#include <functional>

#include "desktop/desktop.h"
#include "support/frame_access.h"
#include "support/window_fixture.h"
#include "x_input.h"
#include "x_session.h"

using namespace lark;
using lark::guitest::Action;
using lark::guitest::Child;
using namespace lark::xtest;
using guitest::Window;
using Handle = gui::WindowHandle;

namespace {

XSession* session = nullptr;

// A window of another program, alive while this object is.
struct Foreign {
    QProcess process;
    Handle id = 0;
    explicit Foreign(const QString& title, const QString& icon = QStringLiteral("no-icon"), bool managed = true) {
        process.start(QStringLiteral(FOREIGN_WINDOW), {title, icon, managed ? "managed" : "unmanaged"});
        if (process.waitForReadyRead(20000)) id = process.readLine().trimmed().toULong();
        // The window manager gives a new window the focus: that must be over before the
        // test picks the window in front. (A test that needs it in front checks that itself.)
        if (managed) static_cast<void>(QTest::qWaitFor([this] { return ActiveWindow() == id; }, 10000));
    }
    ~Foreign() {
        process.closeWriteChannel();
        process.waitForFinished(5000);
    }
};

void WriteSettings(const QString& path, const char* text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(text);
}

gui::SystemTrayArea& Tray(Window& w) { return dynamic_cast<gui::SystemTrayArea&>(w.frame().trayArea()); }

// Where the tray host put the icon; empty while it is not docked.
QRect Place(Window& w, int id) {
    QSystemTrayIcon* icon = Tray(w).trayIcon(id);
    const QRect r = icon ? icon->geometry() : QRect();
    return r.topLeft() == QPoint(0, 0) ? QRect() : r;
}

// Clicks the icon until `done` holds: the host may still be moving icons about as others
// come and go.
bool ClickIcon(Window& w, int id, unsigned button, bool twice, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 5 && !done(); ++attempt) {
        if (!QTest::qWaitFor([&] { return !Place(w, id).isEmpty(); }, 10000)) return false;
        const QPoint at = Place(w, id).center();
        Click(at.x(), at.y(), button, twice);
        static_cast<void>(QTest::qWaitFor(done, 3000));  // the loop asks done() again
    }
    return done();
}

bool Activate(Handle window) {
    RequestActivation(window);
    return QTest::qWaitFor([&] { return ActiveWindow() == window; }, 10000);
}

// Hides the foreign window with Win+Z; its icon id, or -1.
int HideWithWinZ(Window& w, const Foreign& f) {
    const int index = w.frame().hiddenWindows().count();
    if (f.id == 0 || !Activate(f.id)) return -1;
    PressWinZ();
    const bool hidden =
        QTest::qWaitFor([&] { return w.frame().hiddenWindows().count() == index + 1 && !Mapped(f.id); }, 10000);
    return hidden ? index : -1;
}

constexpr int kOwn = gui::HiddenWindows::kOwnIconId;

}  // namespace

class TrayX11Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        guitest::IsolateUserDirectories();
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
    }
    void init() { WriteSettings(gui::TFrame::SettingsFilePath(), "[InterfaceSettings]\nUseTray=1\n"); }
    void winZParksForeignWindows_data();
    void winZParksForeignWindows();
    void x11Queries_data();
    void x11Queries();
    void clicksRestore_data();
    void clicksRestore();
    void ownWindow_data();
    void ownWindow();
    void desktopTrouble_data();
    void desktopTrouble();
    void endRestores_data();
    void endRestores();
};

// Two windows hidden in turn get the ids 0 and 1. The icon: the window's smallest image of
// at least 16 pixels; the tip: the title's first 127 characters. (openbox gives every
// window without an icon an icon of its own: see x11Queries for windows that have none.)
void TrayX11Test::winZParksForeignWindows_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QRgb>("colour");  // 0: not looked at
    QTest::newRow("nominal: _NET_WM_ICON, the 16 pixel image") << "Красный"
                                                               << "net-icon" << QRgb(0xffff0000);
    QTest::newRow("nominal: WM_HINTS pixmap") << "Зелёный"
                                              << "hints-icon" << QRgb(0xff00ff00);
    QTest::newRow("robustness: long title") << QString(300, QChar(0x0416)) << "no-icon" << QRgb(0);
}

void TrayX11Test::winZParksForeignWindows() {
    QFETCH(QString, title);
    QFETCH(QString, icon);
    QFETCH(QRgb, colour);
    Window w;
    Foreign a(title, icon), b(QStringLiteral("второе"));
    QCOMPARE(HideWithWinZ(w, a), 0);
    QCOMPARE(HideWithWinZ(w, b), 1);
    gui::TFrame& f = w.frame();
    QCOMPARE(f.hiddenWindows().title(0), title.left(255).toStdString());
    QCOMPARE(Tray(w).tip(0), title.left(127));
    QTRY_VERIFY(!Place(w, 0).isEmpty() && !Place(w, 1).isEmpty());  // docked
    if (colour) QCOMPARE(Tray(w).icon(0).pixmap(16).toImage().pixel(8, 8), colour);
}

// The window system's own answers, for windows no window manager has touched.
void TrayX11Test::x11Queries_data() {
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QRgb>("colour");  // 0: no icon
    QTest::newRow("nominal: _NET_WM_ICON: the smallest of at least 16 pixels") << "net-icon" << QRgb(0xffff0000);
    QTest::newRow("nominal: the WM_HINTS pixmap") << "hints-icon" << QRgb(0xff00ff00);
    QTest::newRow("nominal: none") << "no-icon" << QRgb(0);
}

void TrayX11Test::x11Queries() {
    QFETCH(QString, icon);
    QFETCH(QRgb, colour);
    Foreign f(QStringLiteral("Окно"), icon, false);
    QTRY_VERIFY_WITH_TIMEOUT(Mapped(f.id), 20000);
    std::unique_ptr<gui::WindowSystem> x11 = gui::MakeWindowSystem();
    QCOMPARE(QString::fromStdString(x11->windowTitle(f.id)), QStringLiteral("Окно"));
    const QIcon got = x11->windowIcon(f.id);
    QCOMPARE(got.isNull(), colour == 0);
    if (colour) QCOMPARE(got.pixmap(16).toImage().pixel(8, 8), colour);
    QVERIFY(x11->withdraw(f.id));
    QTRY_VERIFY_WITH_TIMEOUT(!Mapped(f.id), 20000);
    x11->restore(f.id);
    QTRY_VERIFY_WITH_TIMEOUT(Mapped(f.id), 20000);
    // A window that has gone: every request fails quietly.
    f.process.closeWriteChannel();
    QVERIFY(f.process.waitForFinished(5000));
    QVERIFY(x11->windowTitle(f.id).empty() && x11->windowIcon(f.id).isNull() && !x11->withdraw(f.id));
    x11->restore(f.id);
}

// A click on a hidden window's icon brings it back and frees nothing: ids stay as they are.
void TrayX11Test::clicksRestore_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("twice");
    QTest::newRow("nominal: left click") << 1 << false;
    QTest::newRow("nominal: double click") << 1 << true;
    QTest::newRow("nominal: right click") << 3 << false;
}

void TrayX11Test::clicksRestore() {
    QFETCH(int, button);
    QFETCH(bool, twice);
    Window w;
    gui::TFrame& f = w.frame();
    Foreign a(QStringLiteral("A")), b(QStringLiteral("B")), c(QStringLiteral("C"));
    QCOMPARE(HideWithWinZ(w, a), 0);
    QCOMPARE(HideWithWinZ(w, b), 1);
    // B's icon is the last one: no other icon moves under the pointer when it goes.
    QVERIFY(ClickIcon(w, 1, unsigned(button), twice, [&] { return Mapped(b.id); }));
    QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), b.id, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!Tray(w).has(1), 20000);
    QCOMPARE(f.hiddenWindows().window(1), Handle(0));
    QCOMPARE(f.hiddenWindows().window(0), a.id);
    QVERIFY(!Mapped(a.id) && Tray(w).has(0));
    QCOMPARE(HideWithWinZ(w, c), 2);
    // C's program ends while C is hidden: its icon goes, A's stays.
    QTRY_VERIFY_WITH_TIMEOUT(Tray(w).has(2), 10000);
    c.process.closeWriteChannel();
    QVERIFY(c.process.waitForFinished(10000));
    QTRY_VERIFY_WITH_TIMEOUT(!Tray(w).has(2), 10000);
    QCOMPARE(f.hiddenWindows().window(2), Handle(0));
    QVERIFY(Tray(w).has(0) && !Mapped(a.id));
}

// Win+Z over the program's own window hides it (saving first when that option is on); a
// left click on the own icon shows it again.
void TrayX11Test::ownWindow_data() {
    QTest::addColumn<bool>("saveOnMin");
    QTest::addColumn<bool>("minimize");  // the minimise button instead of Win+Z
    QTest::newRow("nominal: hides") << false << false;
    QTest::newRow("nominal: saves, then hides") << true << false;
    QTest::newRow("nominal: minimising hides") << false << true;
}

void TrayX11Test::ownWindow() {
    QFETCH(bool, saveOnMin);
    QFETCH(bool, minimize);
    QTemporaryDir dir;
    Window w;
    gui::TFrame& f = w.frame();
    Action(f, "miSaveOnMin")->setChecked(saveOnMin);
    f.document().FFileName = dir.filePath(QStringLiteral("n.lkp")).toStdString();
    QVERIFY(Activate(f.winId()));
    if (minimize) f.showMinimized();
    else PressWinZ();
    QTRY_VERIFY_WITH_TIMEOUT(!f.isVisible(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!Mapped(f.winId()), 10000);
    w.waitForSaves();  // the save on hiding is written in the background
    QCOMPARE(QFileInfo::exists(QString::fromStdString(f.document().FFileName)), saveOnMin);
    QVERIFY(ClickIcon(w, kOwn, 1, false, [&] { return f.isVisible() && Mapped(f.winId()); }));
    QVERIFY(w.dialogs.asked.isEmpty());
    // A right click opens the tray menu; its Exit ends the program.
    QVERIFY(ClickIcon(w, kOwn, 3, false, [&] { return Child<QMenu>(f, "pmTray")->isVisible(); }));
    const QPoint exit =
        Child<QMenu>(f, "pmTray")->mapToGlobal(Child<QMenu>(f, "pmTray")->actionGeometry(Action(f, "tmExit")).center());
    Click(exit.x(), exit.y(), 1, false);
    QTRY_VERIFY_WITH_TIMEOUT(!f.isVisible() && f.closeRequested(), 10000);
}

void TrayX11Test::desktopTrouble_data() {
    QTest::addColumn<QString>("trouble");
    QTest::newRow("robustness: hot key taken") << "taken";
    QTest::newRow("robustness: no tray host: the close button closes") << "no-host";
    QTest::newRow("robustness: tray host restarts: every icon comes back") << "restart";
}

void TrayX11Test::desktopTrouble() {
    QFETCH(QString, trouble);
    if (trouble == u"taken") HoldHotKey(true);
    if (trouble == u"no-host") session->stopTrayHost();
    {
        Window w(trouble == u"no-host" ? QStringList{QStringLiteral("-hide")} : QStringList{});
        gui::TFrame& f = w.frame();
        if (trouble == u"taken") {
            QVERIFY(!f.hotKeyGrabbed());
            QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("Комбинация клавиш Win+Z уже занята"));
            HoldHotKey(false);
        } else if (trouble == u"no-host") {
            QVERIFY(f.isVisible());  // "-hide" has nowhere to hide to
            QCOMPARE(f.statusBar()->currentMessage(), QStringLiteral("Область уведомлений недоступна"));
            QVERIFY(f.close());
            QTRY_VERIFY_WITH_TIMEOUT(!Mapped(f.winId()), 20000);
            // The tray comes: from now on the option holds.
            f.show();
            QVERIFY(session->startTrayHost());
            QTRY_VERIFY_WITH_TIMEOUT(!Place(w, kOwn).isEmpty(), 10000);
            QVERIFY(!f.close());
            QTRY_VERIFY_WITH_TIMEOUT(!Mapped(f.winId()), 20000);
        } else {
            Foreign a(QStringLiteral("A"));
            QCOMPARE(HideWithWinZ(w, a), 0);
            gui::TFrameTestAccess::ToggleMainWindow(f, false);  // the window, too, goes to the tray
            QTRY_VERIFY_WITH_TIMEOUT(!Place(w, 0).isEmpty() && !Place(w, kOwn).isEmpty(), 20000);
            session->stopTrayHost();
            QTRY_VERIFY_WITH_TIMEOUT(f.isVisible(), 10000);  // never out of reach
            QVERIFY(!Mapped(a.id));
            QVERIFY(session->startTrayHost());
            QTRY_VERIFY_WITH_TIMEOUT(!Place(w, 0).isEmpty() && !Place(w, kOwn).isEmpty(), 10000);
        }
    }
}

// At exit, and when the program is killed, every hidden window comes back.
void TrayX11Test::endRestores_data() {
    QTest::addColumn<int>("signal");  // 0: a normal exit
    QTest::newRow("nominal: exit") << 0;
    QTest::newRow("nominal: SIGTERM") << int(SIGTERM);
    QTest::newRow("nominal: SIGHUP") << int(SIGHUP);
}

void TrayX11Test::endRestores() {
    QFETCH(int, signal);
    Foreign a(QStringLiteral("A")), b(QStringLiteral("B"));
    if (signal == 0) {
        auto w = std::make_unique<Window>();
        QCOMPARE(HideWithWinZ(*w, a), 0);
        QCOMPARE(HideWithWinZ(*w, b), 1);
        w.reset();
    } else {
        // The program itself, with its own settings folder.
        QTemporaryDir home;
        WriteSettings(home.filePath(QStringLiteral("config/larkpad/larkpad/larkpad.ini")),
                      "[InterfaceSettings]\nUseTray=1\n");
        QProcess larkpad;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        larkpad.setProcessEnvironment(env);
        larkpad.start(QStringLiteral(LARKPAD_BINARY), {});
        QTRY_VERIFY_WITH_TIMEOUT(HotKeyHeld(), 20000);
        for (const Foreign* f : {&a, &b}) {
            QVERIFY(Activate(f->id));
            PressWinZ();
            QTRY_VERIFY_WITH_TIMEOUT(!Mapped(f->id), 10000);
        }
        ::kill(pid_t(larkpad.processId()), signal);
        QVERIFY(larkpad.waitForFinished(20000));
        QCOMPARE(larkpad.exitCode(), 128 + signal);
    }
    QTRY_VERIFY_WITH_TIMEOUT(Mapped(a.id) && Mapped(b.id), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(ActiveWindow(), b.id, 10000);  // restored in order: b last
}

int main(int argc, char** argv) {
    XSession x;
    std::string why;
    if (!x.start(why)) {
        std::fprintf(stderr, "no test desktop: %s\n", why.c_str());
        return 1;
    }
    session = &x;
    qputenv("DISPLAY", QByteArray::fromStdString(x.display()));
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");  // the tray through XEmbed, as tint2 offers it
    qunsetenv("WAYLAND_DISPLAY");
    int result = 0;
    {
        QApplication app(argc, argv);
        TrayX11Test test;
        result = QTest::qExec(&test, argc, argv);
    }
    x.stop();
    return result;
}

#include "tray_x11_test.moc"
