// Desktop integration: the file type registered into temporary XDG directories and read
// back by the desktop's own tools, the open-all command with its launcher and mount list
// replaced, and the help menu's addresses with the opener replaced.
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include "files/file_type.h"
#include "support/frame_access.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;

namespace {

void Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    files::XdgHomes homes() const {
        return {dir_.filePath(QStringLiteral("data")), dir_.filePath(QStringLiteral("config"))};
    }
    // One of the freedesktop tools, run against the temporary directories only.
    QString tool(const QString& program, const QStringList& arguments) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), homes().dataHome);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), homes().configHome);
        env.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/share"));
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), dir_.filePath(QStringLiteral("no-system-config")));
        // No desktop session: xdg-mime answers from the freedesktop files alone.
        for (const char* v :
             {"XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID",
              "MATE_DESKTOP_SESSION_ID", "LXQT_SESSION_CONFIG", "DESKTOP", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY"})
            env.remove(QLatin1String(v));
        p.setProcessEnvironment(env);
        p.start(program, arguments);
        if (!p.waitForFinished(60000)) return QStringLiteral("<%1 did not run>").arg(program);
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

private slots:
    void initTestCase() {
        IsolateUserDirectories();
        for (const char* t : {"xdg-mime", "update-mime-database", "desktop-file-validate"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(t)).isEmpty(), t);
    }

    void registration_data();
    void registration();
    void registrationFollowsAMovedProgram();
    void registrationFailsSilently_data();
    void registrationFailsSilently();
    void openAll();
    void openAllStopsWhenTheWindowCloses();
    void openAllWithoutDriveList();
    void helpLinks_data();
    void helpLinks();
};

void DesktopTest::registration_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("type");
    QTest::newRow("nominal: by its extension") << "notes.lkp" << QByteArray("no magic here") << "application/x-larkpad";
    QTest::newRow("nominal: extension in capitals")
        << "NOTES.LKP" << QByteArray("no magic here") << "application/x-larkpad";
    QTest::newRow("nominal: renamed notebook by its magic")
        << "notes.dat" << QByteArray("LKP\x01\x0c\0\0\0Activate=0\r\n", 20) << "application/x-larkpad";
    QTest::newRow("nominal: renamed compressed notebook")
        << "packed.bin" << QByteArray("ZIPPED!\x78\xda\x01\x02\x03") << "application/x-larkpad";
    QTest::newRow("robustness: magic with another version byte")
        << "other.dat" << QByteArray("LKP\x02\x0c\0\0\0", 8) << "application/octet-stream";
}

void DesktopTest::registration() {
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, type);
    // Lines of other programs in mimeapps.list, and an old default of the type.
    const QByteArray before =
        "[Added Associations]\ntext/plain=gedit.desktop;\napplication/x-larkpad=viewer.desktop;\n\n"
        "[Default Applications]\nimage/png=gimp.desktop;\napplication/x-larkpad=old-larkpad.desktop;\n# a comment\n";
    Write(homes().configHome + QStringLiteral("/mimeapps.list"), before);
    const QString program = dir_.filePath(QStringLiteral("My Apps/larkpad"));
    QVERIFY(files::RegisterFileTypeIn(homes(), program, files::CacheRefresh::Wait));

    const QString entry = homes().dataHome + QStringLiteral("/applications/io.github.larkpad.larkpad.desktop");
    QVERIFY(QFile::exists(homes().dataHome + QStringLiteral("/icons/hicolor/scalable/apps/larkpad.svg")));
    QVERIFY(Read(entry).contains("Exec=\"" + program.toUtf8() + "\" %f\n"));
    // The desktop's caches know the entry and the type.
    QVERIFY(Read(homes().dataHome + QStringLiteral("/applications/mimeinfo.cache"))
                .contains("application/x-larkpad=io.github.larkpad.larkpad.desktop;"));
    QCOMPARE(tool(QStringLiteral("desktop-file-validate"), {entry}), QString());

    const QString sample = dir_.filePath(QStringLiteral("samples/") + file);
    Write(sample, bytes);
    QCOMPARE(tool(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("filetype"), sample}), type);
    QCOMPARE(tool(QStringLiteral("xdg-mime"),
                  {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/x-larkpad")}),
             QStringLiteral("io.github.larkpad.larkpad.desktop"));
    QCOMPARE(
        Read(homes().configHome + QStringLiteral("/mimeapps.list")),
        QByteArray("[Added Associations]\ntext/plain=gedit.desktop;\napplication/x-larkpad=viewer.desktop;\n\n"
                   "[Default Applications]\n"
                   "image/png=gimp.desktop;\napplication/x-larkpad=io.github.larkpad.larkpad.desktop;\n# a comment\n"));
}

void DesktopTest::registrationFollowsAMovedProgram() {
    QTemporaryDir fresh;
    const files::XdgHomes h{fresh.filePath(QStringLiteral("d")), fresh.filePath(QStringLiteral("c"))};
    QVERIFY(files::RegisterFileTypeIn(h, QStringLiteral("/opt/old/larkpad"), files::CacheRefresh::Wait));
    QVERIFY(files::RegisterFileTypeIn(h, QStringLiteral("/opt/new/larkpad"), files::CacheRefresh::Wait));
    const QByteArray entry = Read(h.dataHome + QStringLiteral("/applications/io.github.larkpad.larkpad.desktop"));
    QVERIFY(entry.contains("\nExec=/opt/new/larkpad %f\n"));
    QVERIFY(!entry.contains("/opt/old/"));
    // Without a mimeapps.list, one is made with only the type's default.
    QCOMPARE(Read(h.configHome + QStringLiteral("/mimeapps.list")),
             QByteArray("[Default Applications]\napplication/x-larkpad=io.github.larkpad.larkpad.desktop;\n"));
}

void DesktopTest::registrationFailsSilently_data() {
    QTest::addColumn<bool>("dataBlocked");
    QTest::newRow("robustness: data directory cannot be made") << true;
    QTest::newRow("robustness: config directory cannot be made") << false;
}

void DesktopTest::registrationFailsSilently() {
    QFETCH(bool, dataBlocked);
    // A plain file where a directory must be: no one, not even root, can write below it.
    QTemporaryDir fresh;
    const QString blocker = fresh.filePath(QStringLiteral("file"));
    Write(blocker, "x");
    const files::XdgHomes h{
        dataBlocked ? blocker + QStringLiteral("/data") : fresh.filePath(QStringLiteral("data")),
        dataBlocked ? fresh.filePath(QStringLiteral("config")) : blocker + QStringLiteral("/config")};
    QVERIFY(!files::RegisterFileTypeIn(h, QStringLiteral("/usr/bin/larkpad"), files::CacheRefresh::Wait));
    // A failure stops the registration where it happened.
    QCOMPARE(QFile::exists(fresh.filePath(QStringLiteral("config/mimeapps.list"))), false);
}

void DesktopTest::openAll() {
    QTemporaryDir first, second;
    for (const char* f : {"sub/b.LKP", "sub/c.bak", "a.lkp"}) Write(first.filePath(QLatin1String(f)), "LKP\x01");
    Write(second.filePath(QStringLiteral("e.lkp")), "LKP\x01");
    Window w;
    w.doc().CreateNode(false, false);
    w.doc().FTreeModified = true;
    w.dialogs.saveChanges = {gui::Dialogs::Answer::Cancel, gui::Dialogs::Answer::No};
    QStringList launched;
    gui::TFrameTestAccess::shell(w.frame()).mountPoints = [&] {
        return std::optional<std::vector<std::string>>({first.path().toStdString(), second.path().toStdString()});
    };
    gui::TFrameTestAccess::shell(w.frame()).startProgram = [&](const QString& program, const QStringList& args) {
        const bool panel =
            Child<QLabel>(w.frame(), "pnInfo")->isVisible() &&
            Child<QLabel>(w.frame(), "pnInfo")->text() == QStringLiteral("Идёт поиск всех доступных LKP-файлов...");
        launched << (program == QCoreApplication::applicationFilePath() && panel ? args : QStringList{"<bad call>"});
        return true;
    };
    // Cancel in the save question: nothing cleared, nothing searched.
    w.trigger(Action(w.frame(), "miOpenAll"));
    QCOMPARE(launched, QStringList());
    QCOMPARE(w.doc().tree().count(), 1);
    // A directory's files before its sub-directories; the drives in their order.
    w.trigger(Action(w.frame(), "miOpenAll"));
    QCOMPARE(launched,
             (QStringList{first.filePath(QStringLiteral("a.lkp")), first.filePath(QStringLiteral("sub/b.LKP")),
                          second.filePath(QStringLiteral("e.lkp"))}));
    QVERIFY(!Child<QLabel>(w.frame(), "pnInfo")->isVisible());
    QCOMPARE(w.doc().tree().count(), 0);
    QVERIFY(w.dialogs.allUsed());
    QCOMPARE(w.dialogs.errors, QStringList());
}

void DesktopTest::openAllStopsWhenTheWindowCloses() {
    QTemporaryDir first, second;
    for (const char* f : {"a.lkp", "b.lkp", "c/c.lkp"}) Write(first.filePath(QLatin1String(f)), "LKP\x01");
    Write(second.filePath(QStringLiteral("x/y.lkp")), "LKP\x01");
    Window w;
    QStringList launched;
    gui::TFrameTestAccess::shell(w.frame()).mountPoints = [&] {
        return std::optional<std::vector<std::string>>({first.path().toStdString(), second.path().toStdString()});
    };
    gui::TFrameTestAccess::shell(w.frame()).startProgram = [&](const QString&, const QStringList& args) {
        launched << args;
        if (launched.size() == 1)
            QMetaObject::invokeMethod(
                &w.frame(), [&] { w.frame().close(); }, Qt::QueuedConnection);
        return true;
    };
    w.trigger(Action(w.frame(), "miOpenAll"));
    // The close comes with the events handled after the top directory: no directory is
    // searched after it, on this drive or the next.
    QVERIFY(gui::TFrameTestAccess::FTerminating(w.frame()));
    QVERIFY(!launched.isEmpty());
    for (const QString& path : launched) QVERIFY2(QFileInfo(path).dir() == QDir(first.path()), qPrintable(path));
    QVERIFY(!Child<QLabel>(w.frame(), "pnInfo")->isVisible());
}

void DesktopTest::openAllWithoutDriveList() {
    Window w;
    bool launched = false;
    gui::TFrameTestAccess::shell(w.frame()).mountPoints = [] { return std::optional<std::vector<std::string>>(); };
    gui::TFrameTestAccess::shell(w.frame()).startProgram = [&](const QString&, const QStringList&) {
        return launched = true;
    };
    w.trigger(Action(w.frame(), "miOpenAll"));
    QCOMPARE(w.dialogs.errors, QStringList{QStringLiteral("Не могу получить список дисков.")});
    QVERIFY(!Child<QLabel>(w.frame(), "pnInfo")->isVisible());
    QVERIFY(!launched);
}

void DesktopTest::helpLinks_data() {
    QTest::addColumn<bool>("mail");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("nominal: mail program starts") << true << true << QStringList();
    QTest::newRow("robustness: no mail program")
        << true << false << QStringList{QStringLiteral("Почтовая программа не запускается!")};
    QTest::newRow("robustness: no browser, nothing said") << false << false << QStringList();
}

void DesktopTest::helpLinks() {
    QFETCH(bool, mail);
    QFETCH(bool, opens);
    QFETCH(QStringList, errors);
    Window w;
    QList<QUrl> opened;
    gui::TFrameTestAccess::shell(w.frame()).openUrl = [&](const QUrl& url) {
        opened << url;
        return opens;
    };
    w.trigger(mail ? Action(w.frame(), "miBugReport") : Action(w.frame(), "miMyURL"));
    QCOMPARE(w.dialogs.errors, errors);
    QCOMPARE(opened.size(), 1);
    const QUrl& url = opened.first();
    if (mail) {
        QCOMPARE(url.scheme(), QStringLiteral("mailto"));
        QVERIFY(url.path().contains(u'@'));
        // What the mail program gets once it decodes the link.
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), QStringLiteral("@@ Larkpad"));
        QCOMPARE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
                 QStringLiteral("Bug report!v0.10.2"));
    } else {
        QVERIFY(url.isValid());
        QVERIFY(url.scheme().startsWith(QLatin1String("http")));
    }
}

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
