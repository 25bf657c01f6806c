// The window and a file changed by another program: the offer of the new version on
// activation, "Объединить" when saving over it, and "Объединить с файлом...".
#include <QAction>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cstdio>

#include "main/conflicts_panel.h"
#include "main/notebook_sync.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;
using Answer = gui::Dialogs::Answer;

namespace {

// Another program writes a new file and renames it over the notebook, as sync tools do.
void ReplaceElsewhere(const QString& file, const std::vector<SectionRow>& rows) {
    WriteNotebook(file + ".new", rows, 0);
    QVERIFY(std::rename((file + ".new").toLocal8Bit().constData(), file.toLocal8Bit().constData()) == 0);
}

void Activate(gui::TFrame& frame) {
    QEvent e(QEvent::ActivationChange);
    QCoreApplication::sendEvent(&frame, &e);
}

std::string Outline(Document& doc) {
    std::string out;
    doc.tree().forEach([&](Section& s, int depth) {
        out += std::string(static_cast<std::size_t>(depth), '.') + std::string(s.name()) + "=" + std::string(s.text()) +
               ";";
        return true;
    });
    return out;
}

}  // namespace

class MergeWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void newVersionIsOfferedOnActivation();
    void unsavedChangesMergeWithTheFile();
    void mergeWithAnotherFile();
};

void MergeWindowTest::newVersionIsOfferedOnActivation() {
    const QString file = dir_.filePath(QStringLiteral("offer.lkp"));
    WriteNotebook(file, {{0, "A", "a"}, {0, "B", "b"}}, 1);
    Window w({file});
    QVERIFY(w.frame().isActiveWindow());
    Activate(w.frame());
    QVERIFY(w.dialogs.asked.isEmpty());  // unchanged: nothing to offer

    ReplaceElsewhere(file, {{0, "A", "a"}, {0, "X", "x"}, {0, "B", "b2"}});
    w.dialogs.confirms.push_back(false);
    Activate(w.frame());
    Activate(w.frame());  // declined once: that version is not offered again
    QCOMPARE(w.dialogs.confirmTexts, QStringList{QString::fromUtf8(gui::kReloadChangedText)});
    QCOMPARE(Outline(w.doc()), "A=a;B=b;");

    ReplaceElsewhere(file, {{0, "A", "a"}, {0, "X", "x"}, {0, "B", "b3"}});
    w.dialogs.confirms.push_back(true);
    Activate(w.frame());
    QCOMPARE(w.dialogs.confirmTexts.size(), 2);
    QCOMPARE(Outline(w.doc()), "A=a;X=x;B=b3;");
    QCOMPARE(w.name(w.doc().tree().indexOf(w.doc().selected())), "B");  // still where it was
    QVERIFY(w.dialogs.allUsed());
}

void MergeWindowTest::unsavedChangesMergeWithTheFile() {
    const QString file = dir_.filePath(QStringLiteral("merge.lkp"));
    WriteNotebook(file, {{0, "A", "1\r\n2\r\n3\r\n"}, {0, "B", "b"}}, 0);
    Window w({file});
    w.type(QStringLiteral("mine "));
    ReplaceElsewhere(file, {{0, "A", "1\r\n2\r\n3\r\n"}, {0, "B", "b theirs"}, {1, "C", "c"}});
    Activate(w.frame());  // unsaved changes: nothing is offered, the save asks
    QVERIFY(w.dialogs.asked.isEmpty());
    auto mergeOnSave = [&] {
        w.dialogs.changedOnDisk.push_back(Answer::Merge);
        w.trigger(Action(w.frame(), "miSave"));
    };
    mergeOnSave();
    QCOMPARE(Outline(w.doc()), "A=mine 1\r\n2\r\n3\r\n;B=b theirs;.C=c;");
    QVERIFY(w.doc().isModified());
    QCOMPARE(w.frame().statusBar()->currentMessage(), QStringLiteral("Объединено: 2 разделов, конфликтов: 0"));
    QCOMPARE(ReadAll(file).find("mine"), std::string::npos);  // nothing written yet

    // One step of the section history.
    w.trigger(Action(w.frame(), "miUndoSection"));
    QCOMPARE(Outline(w.doc()), "A=mine 1\r\n2\r\n3\r\n;B=b;");
    w.trigger(Action(w.frame(), "miRedoSection"));
    QCOMPARE(Outline(w.doc()), "A=mine 1\r\n2\r\n3\r\n;B=b theirs;.C=c;");

    // The file's version is in the notebook: saving over it asks no more, and the next
    // change elsewhere merges from it.
    w.trigger(Action(w.frame(), "miSave"));
    QCOMPARE(w.dialogs.asked.count(QStringLiteral("changedOnDisk")), 1);
    QVERIFY(ReadAll(file).find("b theirs") != std::string::npos);
    w.click(w.at(0));
    w.type(QStringLiteral("again "));
    ReplaceElsewhere(file, {{0, "A", "mine 1\r\n2\r\nthree\r\n"}, {0, "B", "b theirs"}, {1, "C", "c"}});
    mergeOnSave();
    QCOMPARE(Outline(w.doc()), "A=again mine 1\r\n2\r\nthree\r\n;B=b theirs;.C=c;");

    // Clashing lines: ours stays, theirs beside it, listed; a row selects the section.
    w.click(w.at(1));
    w.type(QStringLiteral("X"));
    ReplaceElsewhere(file, {{0, "A", "mine 1\r\n2\r\nthree\r\n"}, {0, "B", "Yb theirs"}, {1, "C", "c"}});
    mergeOnSave();
    QCOMPARE(Outline(w.doc()),
             "A=again mine 1\r\n2\r\nthree\r\n;B=Xb theirs;.C=c;B (\xEA\xEE\xED\xF4\xEB\xE8\xEA\xF2)=Yb theirs;");
    auto* panel = w.frame().findChild<gui::ConflictsPanel*>(QStringLiteral("dkConflicts"));
    QVERIFY(panel && panel->isVisible() && panel->rowCount() == 1);
    w.click(w.at(0));
    panel->activate(0);
    QCOMPARE(w.name(w.doc().tree().indexOf(w.doc().selected())), "B");
    w.trigger(Action(w.frame(), "miUndoSection"));  // the rows would point into a tree gone
    QCOMPARE(panel->rowCount(), 0);
    QVERIFY(w.dialogs.allUsed());
}

void MergeWindowTest::mergeWithAnotherFile() {
    const QString file = dir_.filePath(QStringLiteral("mine.lkp"));
    const QString copy = dir_.filePath(QStringLiteral("mine.sync-conflict-20261209.lkp"));
    WriteNotebook(file, {{0, "A", "a"}, {0, "B", "b"}}, 0);
    WriteNotebook(copy, {{0, "A", "a"}, {0, "B", "b elsewhere"}, {0, "N", "n"}}, 0);
    Window w({file});
    w.dialogs.opens.push_back({copy, false});
    w.trigger(Action(w.frame(), "miMergeFile"));
    QCOMPARE(Outline(w.doc()), "A=a;B=b;B (\xEA\xEE\xED\xF4\xEB\xE8\xEA\xF2)=b elsewhere;N=n;");
    QCOMPARE(w.frame().statusBar()->currentMessage(), QStringLiteral("Объединено: 2 разделов, конфликтов: 1"));
    QVERIFY(w.doc().isModified());
    QVERIFY(w.dialogs.allUsed());
}

QTEST_MAIN(MergeWindowTest)
#include "merge_window_test.moc"
