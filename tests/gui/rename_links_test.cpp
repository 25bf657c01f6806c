// Renaming a section that texts link to: the window asks whether the links follow, and
// rewrites them in the stored texts and in the text being edited.
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include "editor/note_editor.h"
#include "main/section_tree_view.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;

class RenameLinksTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() { IsolateUserDirectories(); }
    void linksFollow_data();
    void linksFollow();
};

void RenameLinksTest::linksFollow_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("typedLink");  // typed into the shown section before the rename
    QTest::newRow("nominal: Yes rewrites the stored and the shown text") << "yes"
                                                                         << " file://@Target";
    QTest::newRow("nominal: No leaves every link") << "no"
                                                   << " file://@Target";
    QTest::newRow("nominal: links only in the stored texts") << "yes"
                                                             << "";
}

void RenameLinksTest::linksFollow() {
    QFETCH(QString, answer);
    QFETCH(QString, typedLink);
    const QString file = dir_.filePath(QStringLiteral("links.lkp"));
    WriteNotebook(file, {{0, "Index", "go file://@Target"}, {0, "Target", "t"}, {0, "Other", "file://@Target."}}, 0);
    Window w({file});
    // The section renamed is the one shown; a link to itself may be typed, unsaved.
    w.click(w.at(1));
    if (!typedLink.isEmpty()) {
        Child<gui::NoteEditor>(w.frame(), "reNodeContent")->moveCursor(QTextCursor::End);
        w.type(typedLink);
    }
    const int links = typedLink.isEmpty() ? 2 : 3;
    w.dialogs.confirms.push_back(answer == "yes");
    w.trigger(Action(w.frame(), "miRename"));
    QLineEdit* edit = nullptr;
    QTRY_VERIFY((edit = Child<gui::SectionTreeView>(w.frame(), "tvNodes")->findChild<QLineEdit*>()) != nullptr);
    edit->setText(QStringLiteral("Goal"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(w.name(1), std::string("Goal"));
    QCOMPARE(w.dialogs.confirmTexts, QStringList{QStringLiteral("Обновить ссылки на этот раздел (%1)?").arg(links)});
    const QString to = answer == "yes" ? QStringLiteral("Goal") : QStringLiteral("Target");
    QCOMPARE(Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText(),
             QStringLiteral("t") + QString(typedLink).replace("Target", to));
    QCOMPARE(QString::fromStdString(std::string(w.at(0)->text())), QStringLiteral("go file://@%1").arg(to));
    QCOMPARE(QString::fromStdString(std::string(w.at(2)->text())), QStringLiteral("file://@%1.").arg(to));
    QVERIFY(w.doc().isModified());

    // The rename and the links it rewrote are one step of the section history.
    const auto texts = [&] {
        QStringList all;
        for (int i = 0; i < 3; ++i) all << QString::fromStdString(w.name(i) + "|" + std::string(w.at(i)->text()));
        return all << Child<gui::NoteEditor>(w.frame(), "reNodeContent")->toPlainText();
    };
    const QStringList renamed = texts();
    w.trigger(Action(w.frame(), "miUndoSection"));
    QCOMPARE(texts(), QStringList({"Index|go file://@Target", "Target|t" + typedLink, "Other|file://@Target.",
                                   "t" + typedLink}));
    QVERIFY(!Action(w.frame(), "miUndoSection")->isEnabled());
    w.trigger(Action(w.frame(), "miRedoSection"));
    QCOMPARE(texts(), renamed);
}

QTEST_MAIN(RenameLinksTest)
#include "rename_links_test.moc"
