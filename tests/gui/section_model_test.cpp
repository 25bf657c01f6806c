// The item model over the section tree, checked by Qt's own model tester through
// inserts, removes, moves, renames, resets and a bulk rebuild.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include "document/document.h"
#include "document/memory_view.h"
#include "editing/section_commands.h"
#include "editor/text_codec.h"
#include "main/section_model.h"
#include "support/notebook_files.h"

using namespace lark;
using namespace lark::gui;

class SectionModelTest : public QObject {
    Q_OBJECT
private slots:
    void testerThroughEdits();
    void bulkUpdateReportsEmpty();
    void indexesFollowTheTree();
    void renameSignalsDataChanged();
};

namespace {
std::unique_ptr<TNodeContent> content() { return std::make_unique<TNodeContent>(); }
}  // namespace

void SectionModelTest::testerThroughEdits() {
    MemoryTreeView view;
    MemoryEditor editor;
    MemoryUi ui;
    Document doc(view, editor, ui);
    SectionTree& tree = doc.tree();
    SectionModel model(tree);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    Section* a = tree.appendChild(nullptr, "a", content());
    Section* b = tree.appendChild(nullptr, "b", content());
    Section* a1 = tree.appendChild(a, "a1", content());
    Section* a2 = tree.appendChild(a, "a2", content());
    tree.insertChild(a, 0, "a0", content());
    Section* b1 = tree.appendChild(b, "b1", content());
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowCount(model.indexOf(a)), 3);

    // Moves: within a parent both ways, across parents, to the top level, and a no-op.
    QVERIFY(MoveNode(doc, a2, a1, Placement::Before));
    QCOMPARE(a2->row(), 1);
    QVERIFY(MoveNode(doc, a2, a, Placement::LastChild));
    QCOMPARE(a2->row(), 2);
    QVERIFY(MoveNode(doc, a1, b, Placement::FirstChild));
    QCOMPARE(model.parent(model.indexOf(a1)), model.indexOf(b));
    QVERIFY(MoveNode(doc, b1, nullptr, Placement::LastSibling));
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(MoveNode(doc, b, a, Placement::Before));  // a subtree to the front
    QCOMPARE(model.indexOf(b).row(), 0);
    QVERIFY(!MoveNode(doc, a, a2, Placement::LastChild));  // into its own subtree: refused
    MoveNode(doc, a2, a, Placement::LastChild);            // already last: nothing to report

    doc.RenameSection(a1, "renamed");
    QCOMPARE(model.data(model.indexOf(a1), Qt::DisplayRole).toString(), QStringLiteral("renamed"));
    doc.RemoveSection(a1);
    QCOMPARE(model.rowCount(model.indexOf(b)), 0);
    tree.clear();
    QCOMPARE(model.rowCount(), 0);
}

// A load rebuilds the tree in bulk and lets events through on the way: the view must see
// an empty, consistent model until the one reset at the end.
void SectionModelTest::bulkUpdateReportsEmpty() {
    MemoryTreeView view;
    MemoryEditor editor;
    MemoryUi ui;
    Document doc(view, editor, ui);
    SectionModel model(doc.tree());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    doc.tree().appendChild(nullptr, "old", content());

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bulk.lkp"));
    std::vector<guitest::SectionRow> rows;
    for (int i = 0; i < 1000; ++i) rows.push_back({i % 3 == 0 ? 0 : 1, "s" + std::to_string(i), "t"});
    guitest::WriteNotebook(file, rows);

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy inserts(&model, &QAbstractItemModel::rowsInserted);
    int pumps = 0, nonEmpty = 0;
    ui.onProcessEvents = [&] {
        ++pumps;
        if (model.rowCount() != 0 || model.index(0, 0).isValid()) ++nonEmpty;
    };
    QVERIFY(doc.LoadDocument(file.toStdString(), false));
    QVERIFY(pumps >= 3);
    QCOMPARE(nonEmpty, 0);
    QCOMPARE(resets.size(), 1);
    QCOMPARE(inserts.size(), 0);
    QCOMPARE(model.rowCount(), 334);
    QCOMPARE(model.rowCount(model.index(0, 0)), 2);
}

void SectionModelTest::indexesFollowTheTree() {
    SectionTree tree;
    SectionModel model(tree);
    Section* top = tree.appendChild(nullptr, guitest::Cp1251("Дела"), content());
    Section* child = tree.appendChild(top, "child", content());
    const QModelIndex ci = model.indexOf(child);
    QCOMPARE(SectionModel::sectionAt(ci), child);
    QCOMPARE(SectionModel::sectionAt(model.parent(ci)), top);
    QCOMPARE(model.data(model.indexOf(top), Qt::DisplayRole).toString(), QStringLiteral("Дела"));
    QVERIFY(!model.index(1, 0).isValid());
    QVERIFY(!model.index(0, 1).isValid());
    QVERIFY(model.flags(ci) & Qt::ItemIsEditable);
    model.setReadOnly(true);
    QVERIFY(!(model.flags(ci) & Qt::ItemIsEditable));
    QVERIFY(!model.setData(ci, QStringLiteral("x"), Qt::EditRole));
}

void SectionModelTest::renameSignalsDataChanged() {
    SectionTree tree;
    SectionModel model(tree);
    Section* s = tree.appendChild(nullptr, "a", content());
    QString committed;
    model.onRename = [&](Section* section, const QString& name) {
        QCOMPARE(section, s);
        committed = name;
    };
    QVERIFY(model.setData(model.indexOf(s), QStringLiteral("Новое имя"), Qt::EditRole));
    QCOMPARE(committed, QStringLiteral("Новое имя"));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    tree.rename(s, "b");
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model.indexOf(s));
}

QTEST_MAIN(SectionModelTest)
#include "section_model_test.moc"
