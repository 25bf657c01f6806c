// Desktop integration: the file type registered into temporary XDG directories and read
// back by the desktop's own tools, the open-all command with its launcher and mount list
// replaced, and the help menu's addresses with the opener replaced.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include "files/file_type.h"
#include "main/app_texts.h"
#include "main/window_ui.h"
#include "support/fake_desktop.h"
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
    QString tool(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
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
        if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

private slots:
    void initTestCase() {
        IsolateUserDirectories();
        for (const char* t : {"xdg-mime", "update-mime-database", "desktop-file-validate", "gio"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(t)).isEmpty(), t);
    }
    // The open-all and help cases put a desktop of stand-ins under the window.
    void cleanup() { UseRealDesktop(); }

    void registration_data();
    void registration();
    void registrationFollowsAMovedProgram();
    void registrationFailsSilently_data();
    void registrationFailsSilently();
    void execLinesThroughGio_data();
    void execLinesThroughGio();
    void registrationFiles_data();
    void registrationFiles();
    void defaultApplicationLines_data();
    void defaultApplicationLines();
    void aFifoMimeAppsListAtStart();
    void openAll();
    void openAllPastTwentyAsksOnce_data();
    void openAllPastTwentyAsksOnce();
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
    QTest::newRow("nominal: renamed sealed notebook")
        << "locked.bin" << QByteArray("LKSEALED\x01\x02\x03\0\0\0", 14) << "application/x-larkpad";
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
    QCOMPARE(files::RegisterFileTypeIn(homes(), program, files::CacheRefresh::Wait), files::Registration::Done);

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
    QCOMPARE(files::RegisterFileTypeIn(h, QStringLiteral("/opt/old/larkpad"), files::CacheRefresh::Wait),
             files::Registration::Done);
    QCOMPARE(files::RegisterFileTypeIn(h, QStringLiteral("/opt/new/larkpad"), files::CacheRefresh::Wait),
             files::Registration::Done);
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
    QCOMPARE(files::RegisterFileTypeIn(h, QStringLiteral("/usr/bin/larkpad"), files::CacheRefresh::Wait),
             files::Registration::Failed);
    // A failure stops the registration where it happened.
    QCOMPARE(QFile::exists(fresh.filePath(QStringLiteral("config/mimeapps.list"))), false);
}

void DesktopTest::execLinesThroughGio_data() {
    QTest::addColumn<QString>("folder");
    // A path that holds "%" goes to the program through the shell; any other one directly.
    QTest::newRow("nominal: blanks, quotes, backslashes and shell signs")
        << R"(My it's "q" back\slash $HOME `x` (1);&)";
    QTest::newRow("robustness: percent signs, some like field codes, and all the rest")
        << R"(100% %f %u %% it's "c" d\e $f `x` (1);&)";
}

// The entry as GLib reads it (the parser file managers use) starts the program with the file.
void DesktopTest::execLinesThroughGio() {
    QFETCH(QString, folder);
    QTemporaryDir fresh;
    const files::XdgHomes h{fresh.filePath(QStringLiteral("d")), fresh.filePath(QStringLiteral("c"))};
    const QString program = fresh.filePath(folder + QStringLiteral("/larkpad"));
    const QString out = fresh.filePath(QStringLiteral("arguments"));
    Write(program, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + out.toUtf8() + "'\n");
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QCOMPARE(files::RegisterFileTypeIn(h, program, files::CacheRefresh::Wait), files::Registration::Done);
    const QString entry = h.dataHome + QStringLiteral("/applications/io.github.larkpad.larkpad.desktop");
    QCOMPARE(tool(QStringLiteral("desktop-file-validate"), {entry}), QString());
    const QString notebook = fresh.filePath(QStringLiteral("my notes.lkp"));
    Write(notebook, "LKP\x01");
    int code = -2;
    tool(QStringLiteral("gio"), {QStringLiteral("launch"), entry, notebook}, &code);
    QCOMPARE(code, 0);
    QTRY_COMPARE_WITH_TIMEOUT(Read(out), notebook.toUtf8() + "\n", 10000);
}

// What is at `path`: its kind, permission bits and bytes (read through a link, never a FIFO).
QByteArray State(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return "missing";
    if (S_ISFIFO(st.st_mode)) return "fifo";
    const QByteArray kind = S_ISLNK(st.st_mode) ? "link " : S_ISREG(st.st_mode) ? "file " : "other ";
    return kind + QByteArray::number(st.st_mode & 07777, 8) + " " + Read(path);
}

// A mimeapps.list of another program's, in bytes that are not UTF-8.
const QByteArray kOtherList = "[Added Associations]\ntext/plain=\xCF\xF0\xE8\xE2\xE5\xF2.desktop;\xFF\xFE\n";

void DesktopTest::registrationFiles_data() {
    QTest::addColumn<QString>("make");  // what is put at mimeapps.list before
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("after");  // its state after
    const QByteArray ours = "[Default Applications]\napplication/x-larkpad=io.github.larkpad.larkpad.desktop;\n";
    using R = files::Registration;
    QTest::newRow("robustness: a FIFO is left alone, never waited on")
        << "fifo" << int(R::DefaultNotRegular) << QByteArray("fifo");
    QTest::newRow("robustness: a link is left alone")
        << "link" << int(R::DefaultNotRegular) << "link 777 " + kOtherList;
    QTest::newRow("robustness: a read-only file is left alone")
        << "444" << int(R::DefaultReadOnly) << "file 444 " + kOtherList;
    QTest::newRow("nominal: bytes that are not UTF-8 and the mode stay")
        << "600" << int(R::Done) << "file 600 " + kOtherList + "\n" + ours;
    QTest::newRow("robustness: a FIFO where the desktop entry goes is replaced")
        << "entry-fifo" << int(R::Done) << "file 644 " + ours;
}

void DesktopTest::registrationFiles() {
    QFETCH(QString, make);
    QFETCH(int, result);
    QFETCH(QByteArray, after);
    QTemporaryDir fresh;
    const files::XdgHomes h{fresh.filePath(QStringLiteral("d")), fresh.filePath(QStringLiteral("c"))};
    const QString list = h.configHome + QStringLiteral("/mimeapps.list");
    const QString entryPath = h.dataHome + QStringLiteral("/applications/io.github.larkpad.larkpad.desktop");
    QDir().mkpath(QFileInfo(entryPath).absolutePath());
    QDir().mkpath(h.configHome);
    Write(make == QStringLiteral("link") ? fresh.filePath(QStringLiteral("elsewhere")) : list, kOtherList);
    if (make == QStringLiteral("link")) QVERIFY(QFile::link(fresh.filePath(QStringLiteral("elsewhere")), list));
    if (make.contains(QStringLiteral("fifo"))) {
        QFile::remove(list);
        QCOMPARE(::mkfifo(QFile::encodeName(make == QStringLiteral("fifo") ? list : entryPath).constData(), 0600), 0);
    }
    if (make.startsWith(u'4') || make.startsWith(u'6'))
        QCOMPARE(::chmod(QFile::encodeName(list).constData(), static_cast<mode_t>(make.toInt(nullptr, 8))), 0);
    ::umask(022);
    QCOMPARE(int(files::RegisterFileTypeIn(h, QStringLiteral("/usr/bin/larkpad"), files::CacheRefresh::Wait)), result);
    QCOMPARE(State(list), after);
    QVERIFY2(State(entryPath).startsWith("file 644 [Desktop Entry]"), State(entryPath).constData());
    QVERIFY(Read(entryPath).contains("\nExec=/usr/bin/larkpad %f\n"));
}

void DesktopTest::defaultApplicationLines_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    const QByteArray ours = "application/x-larkpad=io.github.larkpad.larkpad.desktop;";
    QTest::newRow("nominal: none") << QByteArray() << "[Default Applications]\n" + ours + "\n";
    QTest::newRow("nominal: right under the header of the section")
        << QByteArray("[Added Associations]\na=b;\n[Default Applications]\nimage/png=gimp.desktop;\n")
        << "[Added Associations]\na=b;\n[Default Applications]\n" + ours + "\nimage/png=gimp.desktop;\n";
    QTest::newRow("nominal: the type's line in another section is not ours")
        << QByteArray("[Added Associations]\napplication/x-larkpad=v.desktop;")
        << "[Added Associations]\napplication/x-larkpad=v.desktop;\n\n[Default Applications]\n" + ours + "\n";
    QTest::newRow("nominal: replaced where it stands, blanks around the key")
        << QByteArray("[Default Applications]\r\nx=y;\n application/x-larkpad = old.desktop;\n#end")
        << "[Default Applications]\r\nx=y;\n" + ours + "\n#end\n";
    QTest::newRow("robustness: a longer key that starts like the type")
        << QByteArray("[Default Applications]\napplication/x-larkpad2=o;\n")
        << "[Default Applications]\n" + ours + "\napplication/x-larkpad2=o;\n";
}

void DesktopTest::defaultApplicationLines() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QCOMPARE(files::WithDefaultApplication(before), after);
}

void DesktopTest::aFifoMimeAppsListAtStart() {
    // A home of its own: the test programs ctest runs side by side share ~/.qttest.
    QTemporaryDir home;
    const QByteArray realHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    const auto restore = qScopeGuard([&] { qputenv("HOME", realHome); });
    const QString list =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/mimeapps.list");
    QVERIFY(list.startsWith(home.path()));
    QDir().mkpath(QFileInfo(list).absolutePath());
    QCOMPARE(::mkfifo(QFile::encodeName(list).constData(), 0600), 0);
    {
        Window w;
        QCOMPARE(w.frame().ui().statusText(), QString::fromUtf8(gui::kMimeAppsNotRegularText));
    }
}

void DesktopTest::openAll() {
    QTemporaryDir first, second;
    for (const char* f : {"sub/b.LKP", "sub/c.bak", "a.lkp"}) Write(first.filePath(QLatin1String(f)), "LKP\x01");
    Write(second.filePath(QStringLiteral("e.lkp")), "LKP\x01");
    // Named like notebooks, but no file a window could open.
    QCOMPARE(::mkfifo(QFile::encodeName(first.filePath(QStringLiteral("pipe.lkp"))).constData(), 0600), 0);
    QVERIFY(QFile::link(first.filePath(QStringLiteral("gone")), first.filePath(QStringLiteral("dangling.lkp"))));
    FakeDesktopState& desktop = UseFakeDesktop();
    Window w;
    w.doc().CreateNode(false, false);
    w.doc().setTreeModified(true);
    w.dialogs.saveChanges = {gui::Dialogs::Answer::Cancel, gui::Dialogs::Answer::No};
    QStringList launched;
    desktop.shell.mountPoints = [&] {
        return std::optional<std::vector<std::string>>({first.path().toStdString(), second.path().toStdString()});
    };
    desktop.shell.startProgram = [&](const QString& program, const QStringList& args) {
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

void DesktopTest::openAllPastTwentyAsksOnce_data() {
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("yes");
    QTest::newRow("boundary: twenty open without a question") << 20 << true;
    QTest::newRow("nominal: twenty-five, the rest after Да") << 25 << true;
    QTest::newRow("nominal: twenty-five, no more after Нет") << 25 << false;
}

void DesktopTest::openAllPastTwentyAsksOnce() {
    QFETCH(int, files);
    QFETCH(bool, yes);
    QTemporaryDir first, second;
    for (int i = 0; i < files; ++i)
        Write((i % 2 ? first : second).filePath(QStringLiteral("n%1.lkp").arg(i, 2, 10, QChar(u'0'))), "LKP\x01");
    FakeDesktopState& desktop = UseFakeDesktop();
    Window w;
    if (files > 20) w.dialogs.confirms = {yes};
    QStringList launched;
    qsizetype launchedBeforeQuestion = -1;
    w.dialogs.duringConfirm = [&] { launchedBeforeQuestion = launched.size(); };
    desktop.shell.mountPoints = [&] {
        return std::optional<std::vector<std::string>>({first.path().toStdString(), second.path().toStdString()});
    };
    desktop.shell.startProgram = [&](const QString&, const QStringList& args) {
        launched << args;
        return true;
    };
    w.trigger(Action(w.frame(), "miOpenAll"));
    QCOMPARE(launched.size(), qsizetype(std::min(files, 20)));
    if (files > 20) {
        QCOMPARE(w.dialogs.confirmTexts, QStringList{QStringLiteral("Найдено %1 файлов. Открыть все?").arg(files)});
        QCOMPARE(launchedBeforeQuestion, qsizetype(20));
        // The rest open one at a time, with the window's events handled in between.
        QTRY_COMPARE_WITH_TIMEOUT(launched.size(), qsizetype(yes ? files : 20), 5000);
    }
    QTest::qWait(200);
    QCOMPARE(launched.size(), qsizetype(yes ? files : 20));
    QCOMPARE(QSet<QString>(launched.begin(), launched.end()).size(), launched.size());
    QVERIFY(w.dialogs.allUsed());
}

void DesktopTest::openAllStopsWhenTheWindowCloses() {
    QTemporaryDir first, second;
    for (const char* f : {"a.lkp", "b.lkp", "c/c.lkp"}) Write(first.filePath(QLatin1String(f)), "LKP\x01");
    Write(second.filePath(QStringLiteral("x/y.lkp")), "LKP\x01");
    FakeDesktopState& desktop = UseFakeDesktop();
    Window w;
    QStringList launched;
    desktop.shell.mountPoints = [&] {
        return std::optional<std::vector<std::string>>({first.path().toStdString(), second.path().toStdString()});
    };
    desktop.shell.startProgram = [&](const QString&, const QStringList& args) {
        launched << args;
        if (launched.size() == 1)
            QMetaObject::invokeMethod(
                &w.frame(), [&] { w.frame().close(); }, Qt::QueuedConnection);
        return true;
    };
    w.trigger(Action(w.frame(), "miOpenAll"));
    // The close comes with the events handled after the top directory: no directory is
    // searched after it, on this drive or the next.
    QVERIFY(w.frame().terminating());
    QVERIFY(!launched.isEmpty());
    for (const QString& path : launched) QVERIFY2(QFileInfo(path).dir() == QDir(first.path()), qPrintable(path));
    QVERIFY(!Child<QLabel>(w.frame(), "pnInfo")->isVisible());
}

void DesktopTest::openAllWithoutDriveList() {
    FakeDesktopState& desktop = UseFakeDesktop();
    Window w;
    bool launched = false;
    desktop.shell.mountPoints = [] { return std::optional<std::vector<std::string>>(); };
    desktop.shell.startProgram = [&](const QString&, const QStringList&) { return launched = true; };
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
    QTest::newRow("nominal: browser starts") << false << true << QStringList();
    QTest::newRow("robustness: no mail program")
        << true << false
        << QStringList{QStringLiteral("Почтовая программа не запускается!\n\nНапишите по адресу " LARKPAD_BUG_EMAIL)};
    QTest::newRow("robustness: no browser: the address to copy")
        << false << false
        << QStringList{QStringLiteral("Браузер не запускается. Адрес сайта:\n\n" LARKPAD_HOMEPAGE_URL)};
}

void DesktopTest::helpLinks() {
    QFETCH(bool, mail);
    QFETCH(bool, opens);
    QFETCH(QStringList, errors);
    FakeDesktopState& desktop = UseFakeDesktop();
    Window w;
    QList<QUrl> opened;
    desktop.shell.openUrl = [&](const QUrl& url) {
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
