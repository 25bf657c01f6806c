// "Найти все..." in the real window: the command and its input box, the panel filling with
// the rows in the global search's order, activation selecting the section and the match,
// rows of deleted sections, the limit, and the list emptied by New and Open.
#include <QDockWidget>
#include <QLabel>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <deque>
#include <optional>
#include <thread>

#include "editor/note_editor.h"
#include "main/find_all_panel.h"
#include "main/section_model.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"
#include "main/window_ui.h"
#include "support/frame_access.h"
#include "support/notebook_files.h"
#include "support/scripted_dialogs.h"
#include "support/window_fixture.h"

using namespace lark;
using namespace lark::guitest;

namespace {

// Scripted dialogs that also answer the input box.
class FindDialogs : public ScriptedDialogs {
public:
    struct Question {
        QString caption, value;
    };
    std::deque<std::optional<QString>> answers;  // nothing: Cancel
    QList<Question> questions;

    bool inputBox(QWidget*, const QString& caption, const QString&, QString& value) override {
        questions.append({caption, value});
        if (answers.empty()) {
            unexpected << QStringLiteral("input: ") + caption;
            return false;
        }
        const std::optional<QString> a = answers.front();
        answers.pop_front();
        if (a) value = *a;
        return a.has_value();
    }
};

struct Frame {
    FindDialogs dialogs;
    std::unique_ptr<gui::TFrame> frame;
    explicit Frame(const QString& path) {
        frame = std::make_unique<gui::TFrame>(dialogs, QStringList{path});
        QVERIFY(WaitUntilReady(*frame));
        frame->activateWindow();
        (void)QTest::qWaitForWindowActive(frame.get());
    }
    ~Frame() {
        frame->document().setTreeModified(false);
        editor().setModified(false);
    }
    Document& doc() { return frame->document(); }
    gui::NoteEditor& editor() { return *Child<gui::NoteEditor>(*frame, "reNodeContent"); }
    gui::FindAllPanel& panel() { return *Child<gui::FindAllPanel>(*frame, "dkFindAll"); }
    QTreeView& list() { return *Child<QTreeView>(*frame, "lvFindAll"); }
    int rows() { return panel().model().rowCount(); }
    int selectedIndex() { return doc().tree().indexOf(doc().selected()); }

    // Runs the command with `answer` in the input box and waits for the list to be complete.
    void findAll(const QString& answer) {
        dialogs.answers.emplace_back(answer);
        Action(*frame, "miFindAll")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!panel().running(), 20000);
    }
    // "path | line | snippet with [match]" of a row, as the list shows it.
    QString row(int r) {
        const auto& m = panel().model();
        auto at = [&](int column, int role = Qt::DisplayRole) { return m.data(m.index(r, column), role); };
        QString snippet = at(gui::FindAllModel::TextColumn).toString();
        const int start = at(gui::FindAllModel::TextColumn, gui::FindAllModel::MatchStartRole).toInt();
        const int length = at(gui::FindAllModel::TextColumn, gui::FindAllModel::MatchLengthRole).toInt();
        snippet.insert(start + length, u']');
        snippet.insert(start, u'[');
        return at(gui::FindAllModel::PathColumn).toString() + " | " + at(gui::FindAllModel::LineColumn).toString() +
               " | " + snippet;
    }
    QStringList allRows() {
        QStringList out;
        for (int r = 0; r < rows(); ++r) out << row(r);
        return out;
    }
    // Enter on a row of the list, as a user activates it.
    void enterOn(int r) {
        list().setFocus();
        list().setCurrentIndex(panel().model().index(r, 0));
        QTest::keyClick(&list(), Qt::Key_Return);
    }
};

// Проекты > Дом > Ремонт, Проекты > Сад; Архив
std::vector<SectionRow> sampleNotebook() {
    return {
        {0, Cp1251("Проекты"), Cp1251("Список проектов")},
        {1, Cp1251("Дом"), Cp1251("ремонт весной")},
        {2, Cp1251("Ремонт"), Cp1251("крыша\r\nокна\r\nРЕМОНТ пола и ремонт стен\r\n")},
        {1, Cp1251("Сад"), Cp1251("нет")},
        {0, Cp1251("Архив"), Cp1251("старый Ремонт")},
    };
}

}  // namespace

class FindAllWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString notebook(const char* name, const std::vector<SectionRow>& sections, int active = 0) {
        QString p = dir_.filePath(QLatin1String(name));
        WriteNotebook(p, sections, active);
        return p;
    }

private slots:
    void initTestCase() { IsolateUserDirectories(); }

    void commandListsEveryMatchInOrder();
    void shortcutBelongsToNoOtherCommand();
    void activationSelectsSectionAndMatch_data();
    void activationSelectsSectionAndMatch();
    void unsavedTextOfTheShownSectionIsSearched();
    void rowsArriveWhileTheSearchRuns_data();
    void rowsArriveWhileTheSearchRuns();
    void rowOfADeletedSectionDoesNothing();
    void rowsBelowAGoneSectionDoNothing_data();
    void rowsBelowAGoneSectionDoNothing();
    void listStopsAtTheLimit();
    void closedPanelComesBackWithTheCommand();
    void emptiedByNewAndOpen();
};

void FindAllWindowTest::commandListsEveryMatchInOrder() {
    Frame f(notebook("order.lkp", sampleNotebook()));
    QVERIFY(!f.panel().isVisible());
    f.frame->searchState().FSearchText = Cp1251("прежний");
    f.findAll(QStringLiteral("РЕМОНТ"));
    QCOMPARE(f.dialogs.questions.size(), 1);
    QCOMPARE(f.dialogs.questions[0].caption, QStringLiteral("Найти все"));
    QCOMPARE(f.dialogs.questions[0].value, QStringLiteral("прежний"));
    QVERIFY(f.panel().isVisible());
    const QStringList expected = {
        QStringLiteral("Дом ← Проекты | 1 | [ремонт] весной"),
        QStringLiteral("Ремонт ← Проекты / Дом | имя | [Ремонт]"),
        QStringLiteral("Ремонт ← Проекты / Дом | 3 | [РЕМОНТ] пола и ремонт стен"),
        QStringLiteral("Ремонт ← Проекты / Дом | 3 | РЕМОНТ пола и [ремонт] стен"),
        QStringLiteral("Архив | 1 | старый [Ремонт]"),
    };
    QCOMPARE(f.allRows(), expected);
    QCOMPARE(Child<QLabel>(*f.frame, "lbFindAll")->text(), QStringLiteral("«РЕМОНТ»: найдено совпадений: 5"));
    // The next search of any kind starts from the string.
    QCOMPARE(f.frame->searchState().FSearchText, Cp1251("РЕМОНТ"));
    QVERIFY(f.dialogs.allUsed());
}

void FindAllWindowTest::shortcutBelongsToNoOtherCommand() {
    Frame f(notebook("keys.lkp", sampleNotebook()));
    const QKeySequence key = Action(*f.frame, "miFindAll")->shortcut();
    QVERIFY(!key.isEmpty());
    for (QAction* a : f.frame->findChildren<QAction*>()) {
        if (a->objectName() == QLatin1String("miFindAll")) continue;
        for (const QKeySequence& other : a->shortcuts()) QVERIFY2(other != key, qPrintable(a->objectName()));
    }
    // The key works from the editor too.
    f.dialogs.answers.emplace_back(QStringLiteral("нет"));
    f.editor().setFocus();
    QTest::keySequence(&f.editor(), key);
    QTRY_VERIFY_WITH_TIMEOUT(!f.panel().running() && f.rows() == 1, 20000);
}

void FindAllWindowTest::activationSelectsSectionAndMatch_data() {
    QTest::addColumn<QString>("search");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("section");
    QTest::addColumn<QString>("selected");  // the editor's selected text; empty for a name row
    QTest::addColumn<int>("start");         // where the selection starts in the editor
    QTest::newRow("nominal: a match on the first line") << "ремонт" << 0 << 1 << "ремонт" << 0;
    QTest::newRow("nominal: a name match selects the section, no text") << "ремонт" << 1 << 2 << "" << int{0};
    QTest::newRow("nominal: the third line, after two line breaks") << "ремонт" << 2 << 2 << "РЕМОНТ" << 11;
    QTest::newRow("nominal: the second match of a line") << "ремонт" << 3 << 2 << "ремонт" << 25;
    QTest::newRow("nominal: a section elsewhere in the tree") << "ремонт" << 4 << 4 << "Ремонт" << 7;
    QTest::newRow("robustness: a nested section in a collapsed branch") << "окна" << 0 << 2 << "окна" << 6;
}

void FindAllWindowTest::activationSelectsSectionAndMatch() {
    QFETCH(QString, search);
    QFETCH(int, row);
    QFETCH(int, section);
    QFETCH(QString, selected);
    QFETCH(int, start);
    Frame f(notebook("activate.lkp", sampleNotebook(), 3));
    f.findAll(search);
    QVERIFY(row < f.rows());
    f.enterOn(row);
    QCOMPARE(f.selectedIndex(), section);
    QCOMPARE(f.editor().textCursor().selectedText(), selected);
    if (selected.isEmpty()) {
        QVERIFY(Child<gui::SectionTreeView>(*f.frame, "tvNodes")->hasFocus());
    } else {
        QCOMPARE(f.editor().textCursor().selectionStart(), start);
        QVERIFY(f.editor().hasFocus());
    }
    // The tree shows the section.
    auto* tree = Child<gui::SectionTreeView>(*f.frame, "tvNodes");
    QCOMPARE(gui::SectionModel::sectionAt(tree->currentIndex()), f.doc().selected());
}

void FindAllWindowTest::unsavedTextOfTheShownSectionIsSearched() {
    Frame f(notebook("unsaved.lkp", sampleNotebook(), 3));  // "Сад" is shown
    f.editor().selectAll();
    f.editor().insertPlainText(QStringLiteral("первая\nвторая с ремонтом"));
    QVERIFY(f.editor().modified());
    f.findAll(QStringLiteral("ремонт"));
    QVERIFY(f.allRows().contains(QStringLiteral("Сад ← Проекты | 2 | вторая с [ремонт]ом")));
}

void FindAllWindowTest::rowsArriveWhileTheSearchRuns_data() {
    QTest::addColumn<int>("matches");
    QTest::addColumn<int>("held");  // rows found before the search is held
    const int batch = static_cast<int>(gui::FindAllPanel::kMaxBatch);
    QTest::newRow("nominal: the first row shows while the rest is held") << 3 << 1;
    QTest::newRow("boundary: exactly one batch held") << batch + 3 << batch;
    QTest::newRow("boundary: a batch and one more held") << 2 * batch + 7 << batch + 1;
}

// The search is held after some rows: they show while it runs, and the rows found after
// it goes on arrive too.
void FindAllWindowTest::rowsArriveWhileTheSearchRuns() {
    QFETCH(int, matches);
    QFETCH(int, held);
    std::atomic<bool> open{false};  // outlives the window, whose worker may wait on it
    Frame f(notebook("batches.lkp", {{0, "a", std::string(static_cast<std::size_t>(matches), 'x')}}));
    f.panel().search = [&open, held](const NotebookSnapshot& notebook, std::string_view text, const FindAllSink& sink,
                                     const std::atomic<bool>* stop) {
        int found = 0;
        return FindAll(
            notebook, text,
            [&](FindAllRow&& row) {
                if (found++ == held)
                    while (!open && !*stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return sink(std::move(row));
            },
            stop);
    };
    auto* label = Child<QLabel>(*f.frame, "lbFindAll");
    f.dialogs.answers.emplace_back(QStringLiteral("X"));
    Action(*f.frame, "miFindAll")->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(f.rows(), held, 10000);
    QVERIFY(f.panel().running());
    QCOMPARE(label->text(), QStringLiteral("Поиск «X»... найдено: %1").arg(held));
    open = true;
    QTRY_VERIFY_WITH_TIMEOUT(!f.panel().running(), 10000);
    QCOMPARE(f.rows(), matches);
    QCOMPARE(label->text(), QStringLiteral("«X»: найдено совпадений: %1").arg(matches));
}

void FindAllWindowTest::rowOfADeletedSectionDoesNothing() {
    Frame f(notebook("deleted.lkp", sampleNotebook(), 4));
    f.findAll(QStringLiteral("ремонт"));
    QCOMPARE(f.rows(), 5);
    f.doc().SelectSection(f.doc().tree().at(2));  // "Ремонт": rows 1 to 3
    f.dialogs.confirms.push_back(true);
    Action(*f.frame, "miDelete")->trigger();
    QCOMPARE(f.doc().tree().count(), 4);
    const int before = f.selectedIndex();
    for (int r : {1, 2, 3}) {
        f.enterOn(r);
        QCOMPARE(f.frame->ui().statusText(), gui::FindAllPanel::GoneNotice());
        QCOMPARE(f.selectedIndex(), before);
    }
    // The rows of sections still there go on working.
    f.enterOn(4);
    QCOMPARE(f.doc().selected()->name(), Cp1251("Архив"));
    QCOMPARE(f.editor().textCursor().selectedText(), QStringLiteral("Ремонт"));
}

void FindAllWindowTest::rowsBelowAGoneSectionDoNothing_data() {
    QTest::addColumn<int>("gone");  // absolute index of the section the tree lets go
    QTest::addColumn<int>("goneRows");
    // "е" is found 10 times: Проекты 2, Дом 2, Ремонт 4, Сад 1, Архив 1.
    QTest::newRow("nominal: a leaf takes its own rows") << 2 << 4;
    QTest::newRow("nominal: a section takes its child's rows") << 1 << 6;
    QTest::newRow("nominal: a top section takes every row below it") << 0 << 9;
    QTest::newRow("boundary: the last section takes nothing of its neighbours") << 4 << 1;
}

// The list is told a section goes (as the tree tells it before the removal): the rows of it
// and of every section below it do nothing, the others still select their match.
void FindAllWindowTest::rowsBelowAGoneSectionDoNothing() {
    QFETCH(int, gone);
    QFETCH(int, goneRows);
    Frame f(notebook("subtree.lkp", sampleNotebook(), 3));
    f.findAll(QStringLiteral("е"));
    QCOMPARE(f.rows(), 10);
    const Section* top = f.doc().tree().at(gone);
    f.panel().model().forget(top);
    int notices = 0;
    for (int r = 0; r < f.rows(); ++r) {
        const Section* found = f.panel().model().entry(r).section;
        const bool below = top->contains(found);
        const int before = f.selectedIndex();
        f.frame->ui().setStatusText({});
        f.enterOn(r);
        if (below) {
            ++notices;
            QCOMPARE(f.frame->ui().statusText(), gui::FindAllPanel::GoneNotice());
            QCOMPARE(f.selectedIndex(), before);
        } else {
            QCOMPARE(f.doc().selected(), found);
        }
    }
    QCOMPARE(notices, goneRows);
}

void FindAllWindowTest::listStopsAtTheLimit() {
    // One match more than the list takes, in two sections.
    const std::string half(kFindAllLimit / 2, 'x');
    Frame f(notebook("limit.lkp", {{0, "a", half}, {0, "b", half + "x"}}));
    f.findAll(QStringLiteral("X"));
    QCOMPARE(f.rows(), static_cast<int>(kFindAllLimit));
    QCOMPARE(Child<QLabel>(*f.frame, "lbFindAll")->text(),
             QStringLiteral("«X»: показаны первые 100000 совпадений, остальные не вошли в список"));
    QCOMPARE(f.row(static_cast<int>(kFindAllLimit) - 1).section(QStringLiteral(" | "), 0, 1), QStringLiteral("b | 1"));
}

void FindAllWindowTest::closedPanelComesBackWithTheCommand() {
    Frame f(notebook("close.lkp", sampleNotebook()));
    f.findAll(QStringLiteral("ремонт"));
    QVERIFY(f.panel().isVisible());
    f.panel().close();
    QVERIFY(!f.panel().isVisible());
    f.findAll(QStringLiteral("окна"));
    QVERIFY(f.panel().isVisible());
    QCOMPARE(f.allRows(), QStringList{QStringLiteral("Ремонт ← Проекты / Дом | 2 | [окна]")});
}

void FindAllWindowTest::emptiedByNewAndOpen() {
    const QString other = notebook("other.lkp", {{0, "other", Cp1251("ремонт")}});
    Frame f(notebook("reset.lkp", sampleNotebook()));
    f.findAll(QStringLiteral("ремонт"));
    QCOMPARE(f.rows(), 5);
    f.dialogs.saveChanges.push_back(ScriptedDialogs::Answer::No);
    Action(*f.frame, "miClear")->trigger();
    QCOMPARE(f.rows(), 0);
    QCOMPARE(Child<QLabel>(*f.frame, "lbFindAll")->text(), QString());

    f.findAll(QStringLiteral("ремонт"));
    QCOMPARE(f.rows(), 0);
    QCOMPARE(Child<QLabel>(*f.frame, "lbFindAll")->text(), QStringLiteral("«ремонт» не найдено"));
    f.dialogs.saveChanges.push_back(ScriptedDialogs::Answer::No);
    f.dialogs.opens.push_back({other, false});
    Action(*f.frame, "miOpen")->trigger();
    QCOMPARE(f.doc().tree().count(), 1);
    QCOMPARE(Child<QLabel>(*f.frame, "lbFindAll")->text(), QString());
    f.findAll(QStringLiteral("ремонт"));
    QCOMPARE(f.allRows(), QStringList{QStringLiteral("other | 1 | [ремонт]")});
    // Opened again: the rows of the old tree are gone.
    f.dialogs.saveChanges.push_back(ScriptedDialogs::Answer::No);
    f.dialogs.opens.push_back({other, false});
    Action(*f.frame, "miOpen")->trigger();
    QCOMPARE(f.rows(), 0);
}

QTEST_MAIN(FindAllWindowTest)
#include "find_all_window_test.moc"
