// The toolkit's dialogs as the window shows them: Qt's own texts in Russian, captions
// that fit their boxes, and file dialogs that start in the folder they are given.
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "editor/text_printer.h"
#include "main/dialogs.h"
#include "main/qt_translations.h"

using namespace lark;

namespace {

bool hasCyrillic(const QString& text) { return text.contains(QRegularExpression(QStringLiteral("[А-Яа-яЁё]"))); }

// Runs `open` (which shows a modal dialog) and hands the dialog to `inspect` once it is
// up; the dialog is then rejected. False when no dialog came up.
bool whileModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inspect) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        poll.stop();
        seen = true;
        inspect(modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
    poll.start();
    open();
    return seen;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void qtTextsAreRussian_data();
    void qtTextsAreRussian();
    void fileDialogsStartInTheGivenFolder_data();
    void fileDialogsStartInTheGivenFolder();
    void printDialogProposesThePdfFile();
    void captionsFit_data();
    void captionsFit();
    void recoveryOfferDeletesOnlyOnNo_data();
    void recoveryOfferDeletesOnlyOnNo();
};

void DialogsTest::initTestCase() { QVERIFY(gui::InstallQtTranslations(*qApp)); }

void DialogsTest::qtTextsAreRussian_data() {
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("english");
    QTest::newRow("nominal: standard button") << "QPlatformTheme"
                                              << "Cancel";
    QTest::newRow("nominal: file dialog") << "QFileDialog"
                                          << "Look in:";
    QTest::newRow("nominal: print dialog") << "QPrintDialog"
                                           << "Print";
}

void DialogsTest::qtTextsAreRussian() {
    QFETCH(QString, context);
    QFETCH(QString, english);
    const QString shown = QCoreApplication::translate(context.toLatin1().constData(), english.toLatin1().constData());
    QVERIFY2(shown != english && hasCyrillic(shown), qPrintable(shown));
}

void DialogsTest::fileDialogsStartInTheGivenFolder_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("nominal: open") << false;
    QTest::newRow("nominal: save as") << true;
}

void DialogsTest::fileDialogsStartInTheGivenFolder() {
    QFETCH(bool, save);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Заметки")));
    const QString folder = dir.filePath(QStringLiteral("Заметки"));
    gui::Dialogs dialogs;
    QString shownFolder;
    QStringList buttons;
    const bool opened = whileModal(
        [&] {
            bool readOnly = false;
            const QString chosen =
                save ? dialogs.saveFile(nullptr, folder) : dialogs.openFile(nullptr, folder, readOnly);
            QVERIFY(chosen.isEmpty());  // rejected
        },
        [&](QWidget* modal) {
            if (auto* fileDialog = qobject_cast<QFileDialog*>(modal))
                shownFolder = fileDialog->directory().absolutePath();
            if (auto* box = modal->findChild<QDialogButtonBox*>())
                for (QAbstractButton* b : box->buttons()) buttons << b->text();
        });
    QVERIFY(opened);
    QCOMPARE(shownFolder, QDir(folder).absolutePath());
    QVERIFY(!buttons.isEmpty());
    for (const QString& text : buttons) QVERIFY2(hasCyrillic(text), qPrintable(text));
}

void DialogsTest::printDialogProposesThePdfFile() {
    QPrinter printer(QPrinter::HighResolution);
    const QString pdf = QDir::home().filePath(QStringLiteral("Дача_огород.pdf"));
    gui::ProposePdfFile(printer, pdf);
    // The system's default printer, where there is one, stays the printer chosen.
    QCOMPARE(printer.outputFormat(),
             QPrinterInfo::defaultPrinter().isNull() ? QPrinter::PdfFormat : QPrinter::NativeFormat);
    gui::Dialogs dialogs;
    QString shown;
    QVERIFY(whileModal([&] { QVERIFY(!dialogs.printDialog(nullptr, printer)); },
                       [&](QWidget* modal) {
                           if (auto* file = modal->findChild<QLineEdit*>(QStringLiteral("filename")))
                               shown = file->text();
                       }));
    QCOMPARE(shown, pdf);
}

void DialogsTest::captionsFit_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("caption");
    QTest::newRow("nominal: error box with a short text") << 0 << QString();
    QTest::newRow("nominal: notice") << 1 << QString();
    QTest::newRow("nominal: confirmation") << 2 << QString();
    QTest::newRow("nominal: find in the section") << 3 << QStringLiteral("Поиск в текущем разделе");
    QTest::newRow("nominal: global search") << 3 << QStringLiteral("Глобальный поиск по всем разделам");
    QTest::newRow("robustness: long caption of the input box") << 3 << QString(30, u'Ж');
    QTest::newRow("robustness: caption wider than the screen") << 3 << QString(200, u'Ж');
}

void DialogsTest::captionsFit() {
    QFETCH(int, kind);
    QFETCH(QString, caption);
    gui::Dialogs dialogs;
    QString title;
    int width = 0, editWidth = 0, charWidth = 0;
    bool selectable = false;
    const bool opened = whileModal(
        [&] {
            QString value;
            switch (kind) {
            case 0: dialogs.errorBox(nullptr, QStringLiteral("Нет")); break;
            case 1: dialogs.message(nullptr, QStringLiteral("Да")); break;
            case 2: dialogs.confirm(nullptr, QStringLiteral("Да?")); break;
            default: dialogs.inputBox(nullptr, caption, QStringLiteral("Строка:"), value); break;
            }
        },
        [&](QWidget* modal) {
            title = modal->windowTitle();
            // The text of a box can be selected and copied.
            if (kind < 3) {
                const QList<QLabel*> labels = modal->findChildren<QLabel*>();
                selectable = std::any_of(labels.begin(), labels.end(), [](QLabel* l) {
                    return !l->text().isEmpty() && (l->textInteractionFlags() & Qt::TextSelectableByMouse);
                });
            }
            width = modal->width();
            if (auto* edit = modal->findChild<QLineEdit*>()) {
                editWidth = edit->width();
                charWidth = edit->fontMetrics().averageCharWidth();
            }
        });
    QVERIFY(opened);
    QVERIFY(!title.isEmpty());
    QCOMPARE(selectable, kind < 3);
    // The caption's own text, and room beside it for the icon and the title bar's buttons;
    // a caption wider than the screen gets most of the screen, not more.
    const int screenWidth = QApplication::primaryScreen()->availableGeometry().width();
    if (QFontMetrics(QApplication::font()).horizontalAdvance(title) > screenWidth) {
        QVERIFY2(width >= screenWidth * 3 / 4 && width <= screenWidth, qPrintable(QString::number(width)));
        return;
    }
    const int captionText = QFontMetrics(QApplication::font()).horizontalAdvance(title);
    QVERIFY2(width >= captionText + 100, qPrintable(QStringLiteral("%1 < %2 + 100").arg(width).arg(captionText)));
    if (kind == 3) QVERIFY2(editWidth >= 40 * charWidth, qPrintable(QString::number(editWidth)));
}

void DialogsTest::recoveryOfferDeletesOnlyOnNo_data() {
    QTest::addColumn<QString>("act");  // a key, "close", or a button's text
    QTest::addColumn<int>("answer");
    using Answer = gui::Dialogs::Answer;
    QTest::newRow("nominal: Да") << "Да" << int(Answer::Yes);
    QTest::newRow("nominal: Нет") << "Нет" << int(Answer::No);
    QTest::newRow("nominal: Позже") << "Позже" << int(Answer::Cancel);
    QTest::newRow("nominal: Enter takes the default, Да") << "Enter" << int(Answer::Yes);
    QTest::newRow("robustness: Escape keeps the copy") << "Escape" << int(Answer::Cancel);
    QTest::newRow("robustness: closing the box keeps the copy") << "close" << int(Answer::Cancel);
}

void DialogsTest::recoveryOfferDeletesOnlyOnNo() {
    QFETCH(QString, act);
    QFETCH(int, answer);
    gui::Dialogs dialogs;
    QStringList buttons;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        poll.stop();
        for (QAbstractButton* b : box->buttons()) buttons << b->text();
        // Should the act not end the box, it is ended with an answer no row expects.
        QTimer::singleShot(5000, box, [box] { box->done(-1); });
        if (act == "Escape") QTest::keyClick(box, Qt::Key_Escape);
        else if (act == "Enter") QTest::keyClick(box, Qt::Key_Return);
        else if (act == "close") box->close();
        else
            for (QAbstractButton* b : box->buttons())
                if (b->text() == act) b->click();
    });
    poll.start();
    const auto got = dialogs.askRecovery(nullptr, QStringLiteral("Восстановить?"));
    QCOMPARE(buttons.size(), 3);
    QCOMPARE(int(got), answer);
}

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
