// Password protection in the window: a sealed notebook opens only with its password (a
// wrong one is refused and asked again, Cancel opens nothing), protecting writes every file
// sealed, an export asks first, and removing the protection writes the notebook in the clear.
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include "document/errors.h"
#include "document/load_bytes.h"
#include "document/memory_view.h"
#include "document/recovery.h"
#include "document/seal_key.h"
#include "document/sealed_envelope.h"
#include "document/snapshot.h"
#include "files/paths.h"
#include "main/recovery_keeper.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;

namespace {
const std::string kMarker = "SECRET-MARKER-4410";
const QString kProtected = QStringLiteral("(защищён паролем)");
}  // namespace

class SealWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const QString& name) { return dir_.filePath(name); }
    // A notebook of `rows`, sealed under `key` unless it is null.
    QString plain(const QString& name, const SealKey* key = nullptr,
                  const std::vector<SectionRow>& rows = {{0, "A", kMarker}, {0, "B", "second"}}) {
        QString p = path(name);
        WriteNotebook(p, rows, 0);
        if (key) WriteAll(p, std::string(SealBytes(ReadAll(p), *key).view()));
        return p;
    }
    // Sealed under `password` with the smallest derivation.
    QString sealed(const QString& name, const char* password) {
        return plain(name, SealKey::derive(password, FreshSealParams(1, 8192)).get());
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void openAsksUntilThePasswordIsRight_data();
    void openAsksUntilThePasswordIsRight();
    void protectWritesEverythingSealedAndExportAsksFirst();
    void sealedRecoveryCopyComesBackWithThePassword();
    void mergesASealedCopyWithTheNotebooksKey();
};

void SealWindowTest::openAsksUntilThePasswordIsRight_data() {
    QTest::addColumn<QStringList>("typed");  // a null entry: Cancel
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("refusals");
    QTest::newRow("nominal: right at once") << QStringList{QStringLiteral("пароль")} << true << 0;
    QTest::newRow("nominal: wrong, then right")
        << QStringList{QStringLiteral("Пароль"), QStringLiteral("пароль")} << true << 1;
    QTest::newRow("nominal: Cancel opens nothing") << QStringList{QString()} << false << 0;
    QTest::newRow("nominal: wrong, then Cancel") << QStringList{QStringLiteral("x"), QString()} << false << 1;
}

void SealWindowTest::openAsksUntilThePasswordIsRight() {
    QFETCH(QStringList, typed);
    QFETCH(bool, opened);
    QFETCH(int, refusals);
    const QString first = plain(QStringLiteral("first.lkp"));
    const QString locked = sealed(QStringLiteral("locked.lkp"), "пароль");
    Window w({first});
    w.type(QStringLiteral("unsaved "));
    w.dialogs.saveChanges.push_back(gui::Dialogs::Answer::No);
    w.dialogs.opens.push_back({locked});
    for (const QString& t : typed) w.dialogs.passwords.push_back(t);
    w.trigger(Action(w.frame(), "miOpen"));
    QCOMPARE(w.dialogs.errors.size(), refusals);
    for (const QString& e : w.dialogs.errors) QCOMPARE(e, QString::fromUtf8(kSealBrokenText));
    QVERIFY(w.dialogs.allUsed());
    if (opened) {
        QCOMPARE(w.doc().FFileName, locked.toStdString());
        QCOMPARE(w.name(0), std::string("A"));
        QVERIFY(w.doc().sealKey != nullptr);
        QVERIFY(w.frame().windowTitle().contains(kProtected));
        QVERIFY(!Action(w.frame(), "miProtect")->isEnabled());
        QVERIFY(Action(w.frame(), "miUnprotect")->isEnabled());
    } else {
        // Nothing changed: the notebook before, its unsaved text included.
        QCOMPARE(w.doc().FFileName, first.toStdString());
        QVERIFY(w.doc().isModified());
        QVERIFY(w.doc().sealKey == nullptr);
        QVERIFY(!w.frame().windowTitle().contains(kProtected));
    }
}

void SealWindowTest::protectWritesEverythingSealedAndExportAsksFirst() {
    const QString nb = plain(QStringLiteral("protect.lkp"));
    Window w({nb});
    QVERIFY(!Action(w.frame(), "miUnprotect")->isEnabled());
    // A mismatch is said and asked again.
    w.dialogs.passwords = {QStringLiteral("один"), QStringLiteral("два"), QStringLiteral("три"), QStringLiteral("три")};
    w.trigger(Action(w.frame(), "miProtect"));
    QCOMPARE(w.dialogs.messages, QStringList{QStringLiteral("Пароли не совпадают")});
    w.waitForSaves();
    QVERIFY(w.doc().sealKey != nullptr);
    QVERIFY(!w.doc().isModified());
    QVERIFY(w.frame().windowTitle().contains(kProtected));
    for (const QString& f : {nb, files::BackupPath(nb)}) {
        const std::string bytes = ReadAll(f);
        QVERIFY2(IsSealed(bytes), qPrintable(f));
        QVERIFY2(bytes.find(kMarker) == std::string::npos, qPrintable(f));
    }
    // A new password needs the current one; the notebook is then written under the new one.
    auto opensWith = [&](const char* password) {
        const std::string b = ReadAll(nb);
        try {
            return UnsealBytes(b, *SealKey::derive(password, ReadSealParams(b))).view().find(kMarker) !=
                   std::string::npos;
        } catch (const LarkError&) {
            return false;
        }
    };
    QVERIFY(opensWith("три"));
    w.dialogs.passwords = {QStringLiteral("два")};
    w.trigger(Action(w.frame(), "miChangePassword"));
    QCOMPARE(w.dialogs.errors, QStringList{QStringLiteral("Неверный пароль")});
    w.dialogs.passwords = {QStringLiteral("три"), QStringLiteral("четыре"), QStringLiteral("четыре")};
    w.trigger(Action(w.frame(), "miChangePassword"));
    w.waitForSaves();
    QVERIFY(opensWith("четыре"));
    QVERIFY(!opensWith("три"));

    // The recovery copy of unsaved changes is sealed too.
    w.type(QStringLiteral("more "));
    QVERIFY(w.frame().recoveryKeeper().writeNow());
    const std::string copy = ReadAll(QString::fromStdString(w.frame().recoveryKeeper().currentCopy()));
    QVERIFY(IsSealed(copy));
    QVERIFY(copy.find(kMarker) == std::string::npos);

    // An export in the clear is asked for; No exports nothing.
    w.dialogs.confirms.push_back(false);
    w.trigger(Action(w.frame(), "miExport"));
    QCOMPARE(w.dialogs.confirmTexts.last(), QStringLiteral("Экспорт сохранит текст без шифрования. Продолжить?"));
    QVERIFY(w.dialogs.allUsed());

    // Removing the protection writes the notebook in the clear again.
    w.dialogs.confirms.push_back(true);
    w.trigger(Action(w.frame(), "miUnprotect"));
    w.waitForSaves();
    QVERIFY(w.doc().sealKey == nullptr);
    QVERIFY(ReadAll(nb).find(kMarker) != std::string::npos);
    QVERIFY(!w.frame().windowTitle().contains(kProtected));
    QVERIFY(w.dialogs.allUsed());
}

void SealWindowTest::sealedRecoveryCopyComesBackWithThePassword() {
    const QString nb = sealed(QStringLiteral("crashed.lkp"), "пароль");
    // The copy a crashed window left: one more section, sealed with the notebook's key.
    const std::string bytes = ReadAll(nb);
    const auto key = SealKey::derive("пароль", ReadSealParams(bytes));
    {
        MemoryTreeView view;
        MemoryEditor editor;
        MemoryUi ui;
        Document d(view, editor, ui);
        LoadFromBytes(d, TextBuffer::copyOf(bytes), false, std::string(), key);
        auto snapshot = TakeSnapshot(d);
        snapshot->addSection(0, "Unsaved").text_ = TextBuffer::copyOf(kMarker);
        const std::string directory = RecoveryDirectory(QApplication::applicationName().toStdString());
        WriteRecoveryCopy(*snapshot, RecoveryPathFor(directory, nb.toStdString()), nb.toStdString(), key.get());
    }
    Window w({nb}, [](ScriptedDialogs& d) {
        d.passwords = {QStringLiteral("пароль"), QStringLiteral("wrong"), QStringLiteral("пароль")};
        d.recoveries.push_back(gui::Dialogs::Answer::Yes);
    });
    QCOMPARE(w.dialogs.errors, QStringList{QString::fromUtf8(kSealBrokenText)});
    QVERIFY(w.dialogs.allUsed());
    QCOMPARE(w.name(2), std::string("Unsaved"));
    QVERIFY(w.doc().isModified());
    QVERIFY(w.doc().sealKey != nullptr);
}

void SealWindowTest::mergesASealedCopyWithTheNotebooksKey() {
    const QString nb = sealed(QStringLiteral("synced.lkp"), "пароль");
    const auto key = SealKey::derive("пароль", ReadSealParams(ReadAll(nb)));
    const QString copy = plain(QStringLiteral("synced.sync-conflict.lkp"), key.get(),
                               {{0, "A", kMarker}, {0, "B", "second"}, {0, "N", "new"}});
    Window w({nb}, [](ScriptedDialogs& d) { d.passwords = {QStringLiteral("пароль")}; });
    w.dialogs.opens.push_back({copy, false});
    w.trigger(Action(w.frame(), "miMergeFile"));
    QVERIFY(w.dialogs.errors.isEmpty());
    QCOMPARE(w.name(2), std::string("N"));
    QVERIFY(w.doc().isModified());
    QVERIFY(w.dialogs.allUsed());
}

QTEST_MAIN(SealWindowTest)
#include "seal_window_test.moc"
