// The settings file format: reading, editing without losing hand-made lines, integer and
// boolean encodings, and the eleven interface keys.
#include <QTemporaryDir>
#include <QtTest>
#include <string>

#include "document/errors.h"
#include "main/ini_file.h"
#include "main/interface_settings.h"

using lark::IniFile;

class IniFileTest : public QObject {
    Q_OBJECT
private slots:
    void readsSectionsAndKeys();
    void editingKeepsOtherLines();
    void addsKeysAndSections();
    void keepsLineEnds();
    void integers_data();
    void integers();
    void booleans();
    void fileRoundTrip();
    void interfaceKeysInWritingOrder();
    void interfaceDefaultsForMissingKeys();
    void windowExtentClamp_data();
    void windowExtentClamp();
};

void IniFileTest::readsSectionsAndKeys() {
    const IniFile ini = IniFile::parse(
        "; settings\n[Other]\nTreeWidth=1\n[ InterfaceSettings ]\n  treewidth = 250 \n"
        "TreeWidth=999\nNoValue=\n=orphan\n");
    QVERIFY(ini.hasSection("interfacesettings"));
    QVERIFY(!ini.hasSection("Missing"));
    // The first of duplicate keys counts; names ignore letter case; values are trimmed.
    QCOMPARE(ini.value("InterfaceSettings", "TreeWidth").value_or("?"), std::string("250"));
    QCOMPARE(ini.value("Other", "treewidth").value_or("?"), std::string("1"));
    QCOMPARE(ini.value("InterfaceSettings", "NoValue").value_or("?"), std::string());
    QVERIFY(!ini.value("InterfaceSettings", "Missing").has_value());
    QVERIFY(!ini.value("Missing", "TreeWidth").has_value());
    // A comment line is never a key, even with "=" in it.
    QVERIFY(!IniFile::parse("[S]\n;K=1\n#K=2\n").value("S", "K").has_value());
}

void IniFileTest::editingKeepsOtherLines() {
    IniFile ini =
        IniFile::parse("; kept comment\n[InterfaceSettings]\nWindowWidth = 800\n; note\nUnknown=x\n\n[Mine]\nA=1\n");
    ini.writeInteger("InterfaceSettings", "windowwidth", 1024);
    QCOMPARE(ini.text(), std::string("; kept comment\n[InterfaceSettings]\nWindowWidth =1024\n; note\n"
                                     "Unknown=x\n\n[Mine]\nA=1\n"));
}

void IniFileTest::addsKeysAndSections() {
    IniFile ini = IniFile::parse("[A]\nx=1\n; tail comment\n\n[B]\ny=2\n");
    ini.setValue("A", "z", "3");
    ini.setValue("C", "w", "4");
    QCOMPARE(ini.text(), std::string("[A]\nx=1\nz=3\n; tail comment\n\n[B]\ny=2\n\n[C]\nw=4\n"));
    IniFile empty;
    empty.writeBool("InterfaceSettings", "Maximized", true);
    QCOMPARE(empty.text(), std::string("[InterfaceSettings]\nMaximized=1\n"));
    // A section with a header only takes the key right after it.
    IniFile bare = IniFile::parse("[A]\n[B]\n");
    bare.setValue("A", "k", "v");
    QCOMPARE(bare.text(), std::string("[A]\nk=v\n[B]\n"));
}

void IniFileTest::keepsLineEnds() {
    IniFile ini = IniFile::parse("\xEF\xBB\xBF[S]\r\nK=1\r\n");
    QCOMPARE(ini.readInteger("S", "K", 0), 1);  // a byte-order mark does not hide the header
    ini.setValue("S", "L", "2");
    QCOMPARE(ini.text(), std::string("\xEF\xBB\xBF[S]\r\nK=1\r\nL=2\r\n"));
    // A last line without a line end is still read.
    QCOMPARE(IniFile::parse("[S]\nK=7").readInteger("S", "K", 0), 7);
}

void IniFileTest::integers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("nominal: decimal") << "177" << 177;
    QTest::newRow("nominal: negative") << "-40" << -40;
    QTest::newRow("nominal: 0x hexadecimal") << "0x20" << 32;
    QTest::newRow("nominal: $ hexadecimal") << "$1F" << 31;
    QTest::newRow("nominal: blanks around") << "  12  " << 12;
    QTest::newRow("robustness: letters") << "abc" << -1;
    QTest::newRow("robustness: empty") << "" << -1;
    QTest::newRow("robustness: trailing junk") << "12px" << -1;
    QTest::newRow("robustness: bare prefix") << "0x" << -1;
    QTest::newRow("robustness: too big") << "99999999999" << -1;
    QTest::newRow("robustness: inner blank") << "1 2" << -1;
}

void IniFileTest::integers() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    const IniFile ini = IniFile::parse("[S]\nK=" + text.toStdString() + "\n");
    QCOMPARE(ini.readInteger("S", "K", -1), expected);
}

void IniFileTest::booleans() {
    const IniFile ini = IniFile::parse("[S]\nOne=1\nZero=0\nTwo=2\nHex=$0\nBad=yes\n");
    QVERIFY(ini.readBool("S", "One", false));
    QVERIFY(!ini.readBool("S", "Zero", true));
    QVERIFY(ini.readBool("S", "Two", false));
    QVERIFY(!ini.readBool("S", "Hex", true));
    QVERIFY(ini.readBool("S", "Bad", true));
    QVERIFY(!ini.readBool("S", "Bad", false));
    QVERIFY(ini.readBool("S", "Missing", true));
    IniFile out;
    out.writeBool("S", "T", true);
    out.writeBool("S", "F", false);
    QCOMPARE(out.text(), std::string("[S]\nT=1\nF=0\n"));
}

void IniFileTest::fileRoundTrip() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string path = dir.filePath("larkpad.ini").toStdString();
    QVERIFY(IniFile::load(path).text().empty());  // a missing file reads as empty
    IniFile ini = IniFile::parse("; mine\n[InterfaceSettings]\nTreeWidth=0x20\n");
    ini.writeInteger("InterfaceSettings", "WindowTop", -5);
    ini.save(path);
    const IniFile back = IniFile::load(path);
    QCOMPARE(back.text(), ini.text());
    QCOMPARE(back.readInteger("InterfaceSettings", "TreeWidth", 0), 32);
    QCOMPARE(back.readInteger("InterfaceSettings", "WindowTop", 0), -5);
    // A folder that does not exist cannot take the file: an error, no crash.
    bool failed = false;
    try {
        ini.save(dir.filePath("no/such/folder/larkpad.ini").toStdString());
    } catch (const lark::LarkError&) {
        failed = true;
    }
    QVERIFY(failed);
}

void IniFileTest::interfaceKeysInWritingOrder() {
    lark::InterfaceSettings s;
    s.maximized = true;
    s.width = 800;
    s.height = 600;
    s.left = -8;
    s.top = 20;
    s.treeWidth = 0;
    s.wordWrap = true;
    s.showToolBar = false;
    s.useTray = true;
    IniFile ini = IniFile::parse("[Other]\nKeep=1\n");
    lark::WriteInterfaceSettings(ini, s);
    QCOMPARE(ini.text(), std::string("[Other]\nKeep=1\n\n[InterfaceSettings]\nMaximized=1\nWindowWidth=800\n"
                                     "WindowHeight=600\nWindowLeft=-8\nWindowTop=20\nTreeWidth=0\nWordWrap=1\n"
                                     "Zipping=0\nSaveOnMin=0\nShowToolBar=0\nUseTray=1\n"));
    const lark::InterfaceSettings back = lark::ReadInterfaceSettings(ini, lark::InterfaceSettings{});
    QCOMPARE(back.maximized, true);
    QCOMPARE(back.left, -8);
    QCOMPARE(back.treeWidth, 0);
    QCOMPARE(back.wordWrap, true);
    QCOMPARE(back.showToolBar, false);
    QCOMPARE(back.useTray, true);
    QCOMPARE(back.zipping, false);
}

void IniFileTest::interfaceDefaultsForMissingKeys() {
    lark::InterfaceSettings current;
    current.width = 640;
    current.height = 480;
    current.left = 33;
    current.top = 44;
    current.zipping = true;  // current check marks are the defaults, whatever they are
    const IniFile ini = IniFile::parse("[InterfaceSettings]\nWindowWidth=abc\nTreeWidth=$40\nMaximized=zz\n");
    const lark::InterfaceSettings r = lark::ReadInterfaceSettings(ini, current);
    QCOMPARE(r.width, 640);
    QCOMPARE(r.height, 480);
    QCOMPARE(r.left, 33);
    QCOMPARE(r.top, 44);
    QCOMPARE(r.treeWidth, 64);
    QCOMPARE(r.maximized, false);
    QCOMPARE(r.zipping, true);
    QCOMPARE(r.showToolBar, true);
    QCOMPARE(r.wordWrap, false);
}

void IniFileTest::windowExtentClamp_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("screen");
    QTest::addColumn<int>("expected");
    QTest::newRow("nominal: fits") << 800 << 1920 << 800;
    QTest::newRow("nominal: wider than the screen") << 5000 << 1920 << 1920;
    QTest::newRow("nominal: below the minimum") << 100 << 1920 << 300;
    QTest::newRow("robustness: negative") << -50 << 1920 << 300;
    QTest::newRow("robustness: screen size unknown") << 5000 << 0 << 5000;
}

void IniFileTest::windowExtentClamp() {
    QFETCH(int, stored);
    QFETCH(int, screen);
    QFETCH(int, expected);
    QCOMPARE(lark::ClampWindowExtent(stored, lark::kMinWindowWidth, screen), expected);
}

QTEST_APPLESS_MAIN(IniFileTest)
#include "ini_file_test.moc"
