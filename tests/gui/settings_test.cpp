// The settings file across real restarts: each case closes one window (which writes
// larkpad.ini) and starts the next, which reads it.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QtTest>

#include "editor/note_editor.h"
#include "main/ini_file.h"
#include "main/interface_settings.h"
#include "main/section_tree_view.h"
#include "support/fake_desktop.h"
#include "support/frame_access.h"
#include "support/window_fixture.h"

using namespace lark;
using guitest::Window;
using lark::guitest::Action;
using lark::guitest::Child;

namespace {

QString settingsPath() { return gui::TFrame::SettingsFilePath(); }

void writeSettings(const std::string& text) {
    QDir().mkpath(QFileInfo(settingsPath()).absolutePath());
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray::fromStdString(text));
}

IniFile readSettings() { return IniFile::load(QFile::encodeName(settingsPath()).toStdString()); }

int stored(const char* key) { return readSettings().readInteger(kSettingsSection, key, -12345); }

// Closes the window the way the user does; the close goes ahead.
void closeWindow(Window& w) {
    QVERIFY(w.frame().close());
    QVERIFY(!w.frame().isVisible());
}

QStringList checkedOptions(gui::TFrame& f) {
    QStringList checked;
    for (QAction* a : {Action(f, "miWordWrap"), Action(f, "miSaveOnMin"), Action(f, "miShowToolBar"),
                       Action(f, "miUseTray"), Action(f, "miUseZip")})
        if (a->isChecked()) checked << a->text();
    return checked;
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void firstRunUsesDefaultsAndWritesElevenKeys();
    void sizeClampedToScreenAndMinimum_data();
    void sizeClampedToScreenAndMinimum();
    void treeWidthValues_data();
    void treeWidthValues();
    void maximizedRoundTrip();
    void optionsRoundTrip();
    void handEditedLinesSurvive();
    void unwritableFolderDoesNotStopTheClose();
    void hiddenStartMaximizesWhenFirstShown();
    void neverShownWindowWritesWhatItRead();
};

void SettingsTest::initTestCase() {
    guitest::IsolateUserDirectories();
    guitest::UseFakeDesktop();  // a tray host, so that "-hide" can hide the window
    QApplication::setApplicationName(QStringLiteral("larkpad-settings-test"));
    QVERIFY(!settingsPath().isEmpty());
    QVERIFY(settingsPath().endsWith(QStringLiteral("/larkpad.ini")));
}

void SettingsTest::init() {
    const QString folder = QFileInfo(settingsPath()).absolutePath();
    QFile::remove(folder);  // a file left in the folder's place by a failed run
    QFile::remove(settingsPath());
}

void SettingsTest::cleanupTestCase() { init(); }

void SettingsTest::firstRunUsesDefaultsAndWritesElevenKeys() {
    Window w;
    gui::TFrame& f = w.frame();
    QVERIFY(f.isVisible());
    QCOMPARE(Child<gui::SectionTreeView>(f, "tvNodes")->width(), 177);
    QCOMPARE(checkedOptions(f), QStringList{"Отображать панель инструментов"});
    QVERIFY(Child<QToolBar>(f, "tbToolBar")->isVisible());
    QVERIFY(!f.isMaximized());
    QVERIFY(!QFile::exists(settingsPath()));  // reading creates nothing
    const QRect placed = f.normalGeometry();

    closeWindow(w);
    QVERIFY(QFile::exists(settingsPath()));
    QStringList keys;
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0), QStringLiteral("[InterfaceSettings]"));
    for (const QString& line : lines.mid(1)) keys << line.section('=', 0, 0);
    // The eleven keys in the order they are written, spelt out here: a key dropped from the
    // program's own list must fail this. The spelling's two keys come after them.
    const QStringList expected{"Maximized", "WindowWidth", "WindowHeight",  "WindowLeft", "WindowTop",
                               "TreeWidth", "WordWrap",    "Zipping",       "SaveOnMin",  "ShowToolBar",
                               "UseTray",   "SpellCheck",  "SpellLanguages"};
    QCOMPARE(keys, expected);
    QCOMPARE(stored("Maximized"), 0);
    QCOMPARE(stored("WindowWidth"), placed.width());
    QCOMPARE(stored("WindowHeight"), placed.height());
    QCOMPARE(stored("WindowLeft"), placed.x());
    QCOMPARE(stored("WindowTop"), placed.y());
    QCOMPARE(stored("TreeWidth"), 177);
    QCOMPARE(stored("ShowToolBar"), 1);
    for (const char* off : {"WordWrap", "Zipping", "SaveOnMin", "UseTray"}) QCOMPARE(stored(off), 0);
}

void SettingsTest::sizeClampedToScreenAndMinimum_data() {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("nominal: stored size") << 520 << 360 << QSize(520, 360);
    QTest::newRow("robustness: wider and taller than the screen") << 5000 << 5000 << screen;
    QTest::newRow("robustness: below the minimum size") << 100 << 100 << QSize(300, 200);
    QTest::newRow("robustness: negative") << -640 << -1 << QSize(300, 200);
}

void SettingsTest::sizeClampedToScreenAndMinimum() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QSize, expected);
    writeSettings("[InterfaceSettings]\nWindowWidth=" + std::to_string(width) +
                  "\nWindowHeight=" + std::to_string(height) + "\nWindowLeft=12\nWindowTop=34\n");
    Window w;
    QCOMPARE(w.frame().size(), expected);
    QCOMPARE(w.frame().geometry().topLeft(), QPoint(12, 34));
}

void SettingsTest::treeWidthValues_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("expected");
    QTest::newRow("nominal: decimal") << "TreeWidth=250" << 250;
    QTest::newRow("nominal: 0x hexadecimal") << "TreeWidth=0x20" << 32;
    QTest::newRow("nominal: $ hexadecimal") << "TreeWidth=$40" << 64;
    QTest::newRow("robustness: not a number") << "TreeWidth=abc" << 177;
    QTest::newRow("robustness: missing") << "Other=1" << 177;
}

void SettingsTest::treeWidthValues() {
    QFETCH(QString, line);
    QFETCH(int, expected);
    writeSettings("[InterfaceSettings]\nWindowWidth=700\n" + line.toStdString() + "\n");
    Window w;
    QCOMPARE(Child<gui::SectionTreeView>(w.frame(), "tvNodes")->width(), expected);
    closeWindow(w);
    QCOMPARE(stored("TreeWidth"), expected);
}

void SettingsTest::maximizedRoundTrip() {
    const QRect normal(40, 50, 520, 380);
    {
        Window w;
        gui::TFrame& f = w.frame();
        f.setGeometry(normal);
        QTRY_COMPARE(f.geometry(), normal);
        f.showMaximized();
        QTRY_VERIFY(f.isMaximized());
        QTRY_VERIFY(f.geometry() != normal);
        closeWindow(w);
    }
    QCOMPARE(stored("Maximized"), 1);
    QCOMPARE(stored("WindowWidth"), 520);
    QCOMPARE(stored("WindowHeight"), 380);
    QCOMPARE(stored("WindowLeft"), 40);
    QCOMPARE(stored("WindowTop"), 50);

    Window w;
    gui::TFrame& f = w.frame();
    QTRY_VERIFY(f.isMaximized());
    QCOMPARE(f.normalGeometry(), normal);
    f.showNormal();
    QTRY_COMPARE(f.geometry(), normal);
    closeWindow(w);
    QCOMPARE(stored("Maximized"), 0);
    QCOMPARE(stored("WindowLeft"), 40);
}

void SettingsTest::optionsRoundTrip() {
    {
        Window w;
        gui::TFrame& f = w.frame();
        w.trigger(Action(f, "miWordWrap"));
        w.trigger(Action(f, "miUseZip"));
        w.trigger(Action(f, "miSaveOnMin"));
        w.trigger(Action(f, "miShowToolBar"));
        Child<QSplitter>(f, "spSplitter")->setSizes({230, Child<QSplitter>(f, "spSplitter")->width() - 230});
        closeWindow(w);
    }
    QCOMPARE(stored("WordWrap"), 1);
    QCOMPARE(stored("Zipping"), 1);
    QCOMPARE(stored("SaveOnMin"), 1);
    QCOMPARE(stored("ShowToolBar"), 0);
    QCOMPARE(stored("UseTray"), 0);
    QCOMPARE(stored("TreeWidth"), 230);

    Window w;
    gui::TFrame& f = w.frame();
    QCOMPARE(checkedOptions(f), (QStringList{"Перенос по словам", "Сохранять при минимизации", "Сжатие информации"}));
    QCOMPARE(Child<gui::NoteEditor>(f, "reNodeContent")->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY(Action(f, "tbWordWrap")->isChecked());
    QVERIFY(!Child<QToolBar>(f, "tbToolBar")->isVisible());
    QVERIFY(f.document().UseZip);
    QVERIFY(!f.document().isModified());
    QCOMPARE(Child<gui::SectionTreeView>(f, "tvNodes")->width(), 230);
}

void SettingsTest::handEditedLinesSurvive() {
    writeSettings("; my window\n[InterfaceSettings]\nTreeWidth = 0x20\nMyOwnKey=yes\n\n[Other]\nKeep=1\n");
    Window w;
    QCOMPARE(Child<gui::SectionTreeView>(w.frame(), "tvNodes")->width(), 32);
    closeWindow(w);
    const std::string text = readSettings().text();
    QVERIFY(text.rfind("; my window\n[InterfaceSettings]\n", 0) == 0);
    QVERIFY(text.find("TreeWidth =32\n") != std::string::npos);
    QVERIFY(text.find("MyOwnKey=yes\n") != std::string::npos);
    QVERIFY(text.find("\n[Other]\nKeep=1\n") != std::string::npos);
    QCOMPARE(stored("ShowToolBar"), 1);
}

void SettingsTest::unwritableFolderDoesNotStopTheClose() {
    // A file where the settings folder should be: nothing can be read or written there.
    const QString folder = QFileInfo(settingsPath()).absolutePath();
    QDir(folder).removeRecursively();
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    Window w;
    QCOMPARE(Child<gui::SectionTreeView>(w.frame(), "tvNodes")->width(), 177);
    closeWindow(w);
    QVERIFY(w.dialogs.errors.isEmpty());
    QVERIFY(w.dialogs.messages.isEmpty());
    QVERIFY(QFileInfo(folder).isFile());
    QVERIFY(QFile::remove(folder));
}

void SettingsTest::hiddenStartMaximizesWhenFirstShown() {
    writeSettings("[InterfaceSettings]\nMaximized=1\nUseTray=1\nWindowWidth=500\nWindowHeight=300\nTreeWidth=210\n");
    guitest::ScriptedDialogs dialogs;
    {
        gui::TFrame f(dialogs, {QStringLiteral("-hide")});
        QVERIFY(!f.isVisible());
        QVERIFY(Action(f, "miUseTray")->isChecked());
        f.show();
        QTRY_VERIFY(f.isMaximized());
        QCOMPARE(f.normalGeometry().size(), QSize(500, 300));
        // The stored width also holds for a late first show.
        QTRY_COMPARE(Child<gui::SectionTreeView>(f, "tvNodes")->width(), 210);
    }
    // Without "-hide" the tray option alone does not hide the window.
    gui::TFrame shown(dialogs, {});
    QVERIFY(shown.isVisible());
}

void SettingsTest::neverShownWindowWritesWhatItRead() {
    writeSettings(
        "[InterfaceSettings]\nUseTray=1\nTreeWidth=210\nWindowLeft=70\nWindowTop=80\n"
        "WindowWidth=500\nWindowHeight=300\n");
    guitest::ScriptedDialogs dialogs;
    {
        gui::TFrame f(dialogs, {QStringLiteral("-hide")});
        QVERIFY(!f.isVisible());
        Action(f, "tmExit")->trigger();  // Exit from the tray menu: a real close
        QVERIFY(f.terminating());        // the close went through
    }
    QVERIFY(dialogs.unexpected.isEmpty());
    QCOMPARE(stored("Maximized"), 0);  // written at the close, with all the others
    QCOMPARE(stored("ShowToolBar"), 1);
    QCOMPARE(stored("TreeWidth"), 210);
    QCOMPARE(stored("WindowWidth"), 500);
    QCOMPARE(stored("WindowHeight"), 300);
    QCOMPARE(stored("WindowLeft"), 70);
    QCOMPARE(stored("WindowTop"), 80);
    QCOMPARE(stored("UseTray"), 1);
}

QTEST_MAIN(SettingsTest)
#include "settings_test.moc"
