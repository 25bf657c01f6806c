// The editor's building blocks on their own: printing to PDF, plain-text copy and paste,
// the capacity, and the stepped font sizes.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>

#include "editor/edit_clipboard.h"
#include "editor/editor_capacity.h"
#include "editor/text_codec.h"
#include "editor/text_printer.h"
#include "main/font_steps.h"
#include "support/pdf_pages.h"

using namespace lark::gui;
using lark::guitest::kPointsPerMm;
using lark::guitest::PdfPage;
using lark::guitest::PdfWord;
using lark::guitest::ReadPdfPages;

namespace {

QString runTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return QStringLiteral("<failed: %1>").arg(program);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList words(const QString& text) { return text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts); }

}  // namespace

class ViewUnitsTest : public QObject {
    Q_OBJECT
private slots:
    void printsPdfWithTheText();
    void printingWrapsAndFillsPages();
    void defaultPdfPath_data();
    void defaultPdfPath();
    void copyLeavesPlainTextOnly();
    void pasteReducesClipboardToText();
    void capacity();
    void fontStepsGoBelowZero();
    void textToEditor_data();
    void textToEditor();
};

void ViewUnitsTest::printsPdfWithTheText() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("section.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    const QString text = QStringLiteral("Первая строка раздела\nSecond line, Latin\n\tОтступ и ёлка Ё\n");
    QFont font("Courier New");
    font.setPixelSize(13);
    QCOMPARE(
        PrintPlainText(printer, {text, font, QStringLiteral("/home/user/notes.lkp"), QStringLiteral("Мой раздел")}), 1);
    QVERIFY(QFileInfo(pdf).size() > 0);
    // The heading, the text, the page's number.
    QCOMPARE(words(runTool("pdftotext", {"-enc", "UTF-8", pdf, "-"})),
             (QStringList{"Мой", "раздел"} + words(text) + QStringList{"1"}));
    QVERIFY(runTool("pdfinfo", {pdf}).contains(QRegularExpression("Title:\\s+/home/user/notes.lkp")));
}

void ViewUnitsTest::printingWrapsAndFillsPages() {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("long.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageSize(QPageSize(QPageSize::A4));
    UseDefaultPageMargins(printer);
    // One paragraph far wider than a page, then enough short lines for several pages.
    QString text;
    for (int i = 0; i < 60; ++i) text += QStringLiteral("слово%1 ").arg(i);
    text += '\n';
    for (int i = 0; i < 300; ++i) text += QStringLiteral("line %1\n").arg(i);
    QFont font("Courier New");
    font.setPointSize(10);
    const QStringList heading{"Длинный", "раздел"};
    const int pages = PrintPlainText(printer, {text, font, QString(), heading.join(' ')});
    QVERIFY2(pages >= 4, qPrintable(QString::number(pages)));
    const QString out = runTool("pdftotext", {"-enc", "UTF-8", pdf, "-"});
    QCOMPARE(out.count('\f'), pages);  // one form feed after each page
    // The wide paragraph wraps: its first and last words end up on different lines.
    const QStringList lines = out.split('\n');
    const auto firstLine =
        std::find_if(lines.begin(), lines.end(), [](const QString& l) { return l.contains("слово0 "); });
    QVERIFY(firstLine != lines.end());
    QVERIFY(!firstLine->contains("слово59"));

    // Page by page: the heading on the first page only, above the text; the page's number
    // centred below everything else; every word within margins of at least 15 mm, the
    // text starting at the default 20 mm.
    const std::vector<PdfPage> read = ReadPdfPages(pdf);
    QCOMPARE(int(read.size()), pages);
    const double least = 15 * kPointsPerMm, margin = kDefaultPageMarginMm * kPointsPerMm;
    QStringList body;
    for (int p = 0; p < pages; ++p) {
        const PdfPage& page = read[p];
        QVERIFY(page.words.size() > 2);
        double left = page.size.width(), top = page.size.height(), right = 0;
        for (const PdfWord& w : page.words) {
            QVERIFY2(
                QRectF(least, least, page.size.width() - 2 * least, page.size.height() - 2 * least).contains(w.box),
                qPrintable(QStringLiteral("page %1: %2").arg(p + 1).arg(w.text)));
            left = std::min(left, w.box.left());
            top = std::min(top, w.box.top());
            right = std::max(right, w.box.right());
        }
        QVERIFY2(std::abs(left - margin) < 1.5, qPrintable(QString::number(left)));
        QVERIFY2(std::abs(top - margin) < 3, qPrintable(QString::number(top)));
        QVERIFY(right <= page.size.width() - margin + 1);
        const PdfWord& footer = page.words.back();
        QCOMPARE(footer.text, QString::number(p + 1));
        QVERIFY(std::abs(footer.box.center().x() - page.size.width() / 2) < 2);
        QVERIFY(std::abs(footer.box.bottom() - (page.size.height() - margin)) < 2);
        QStringList texts = page.texts();
        texts.removeLast();
        for (std::size_t i = 0; i + 1 < page.words.size(); ++i) QVERIFY(page.words[i].box.bottom() < footer.box.top());
        if (p == 0) {
            QCOMPARE(texts.mid(0, heading.size()), heading);
            texts = texts.mid(heading.size());
            for (std::size_t i = heading.size(); i < page.words.size(); ++i)
                QVERIFY(page.words[i].box.top() > page.words[0].box.bottom());
        }
        // Each page is filled: many more lines than the last one needs.
        if (p + 1 < pages) QVERIFY2(texts.size() > 100, qPrintable(QString::number(texts.size())));
        body += texts;
    }
    QCOMPARE(body, words(text));  // nothing lost, nothing repeated at page breaks
}

void ViewUnitsTest::defaultPdfPath_data() {
    QTest::addColumn<QString>("notebook");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("expected");
    struct Row {
        const char* name;
        QString notebook, section, expected;
    };
    const Row rows[] = {
        {"notebook's folder", "/home/me/notes/Заметки.lkp", "Покупки", "/home/me/notes/Покупки.pdf"},
        {"slashes", "/home/me/Заметки.lkp", "2024/05/план", "/home/me/2024_05_план.pdf"},
        {"control characters", "/n/a.lkp",
         "a\tb\x01"
         "c\x7f"
         "d\u0085e",
         "/n/a_b_c_d_e.pdf"},
        {"blanks around", "/n/a.lkp", "  отчёт за май ", "/n/отчёт за май.pdf"},
        {"unnamed notebook", "", "Раздел", QDir::homePath() + "/Раздел.pdf"},
        {"relative notebook", "notes.lkp", "x", QDir::current().absoluteFilePath("x.pdf")},
        {"blank name", "/n/a.lkp", " \t ", "/n/print.pdf"},
        {"empty name", "/n/a.lkp", "", "/n/print.pdf"},
        // 255 bytes at most: 125 two-byte letters and ".pdf" make 254, 126 would make 256.
        {"long name", "/n/a.lkp", QString(200, u'ж'), "/n/" + QString(125, u'ж') + ".pdf"},
        {"long name, one-byte letters", "/n/a.lkp", QString(300, u'z'), "/n/" + QString(251, u'z') + ".pdf"},
    };
    for (const Row& r : rows) QTest::newRow(r.name) << r.notebook << r.section << r.expected;
}

void ViewUnitsTest::defaultPdfPath() {
    QFETCH(QString, notebook);
    QFETCH(QString, section);
    QFETCH(QString, expected);
    QCOMPARE(DefaultPdfPath(notebook, section), expected);
}

void ViewUnitsTest::copyLeavesPlainTextOnly() {
    QPlainTextEdit editor;
    editor.setPlainText(QStringLiteral("Раздел\nвторая строка"));
    QClipboard& clipboard = *QApplication::clipboard();
    clipboard.setText(QStringLiteral("before"));
    // Nothing selected: nothing copied, the clipboard as it was.
    QVERIFY(!CopyAsPlainText(editor, clipboard));
    QCOMPARE(clipboard.text(), QStringLiteral("before"));
    editor.selectAll();
    // The copy is one step of the command: no other event runs inside it.
    bool ranInside = false;
    QTimer::singleShot(0, &editor, [&] { ranInside = true; });
    QVERIFY(CopyAsPlainText(editor, clipboard));
    QVERIFY(!ranInside);
    const QMimeData* data = clipboard.mimeData();
    QVERIFY(data);
    QCOMPARE(data->formats(), QStringList{"text/plain"});
    QCOMPARE(data->text(), QStringLiteral("Раздел\nвторая строка"));
}

void ViewUnitsTest::pasteReducesClipboardToText() {
    QClipboard& clipboard = *QApplication::clipboard();
    QPlainTextEdit editor;
    editor.setPlainText("ab");
    QTextCursor c = editor.textCursor();
    c.setPosition(1);
    editor.setTextCursor(c);

    // Text with a richer format beside it: only the text goes in, only the text stays.
    auto* rich = new QMimeData;
    rich->setHtml("<b>bold</b>");
    rich->setText("plain");
    clipboard.setMimeData(rich);
    QVERIFY(PasteAsPlainText(editor, clipboard));
    QCOMPARE(editor.toPlainText(), QStringLiteral("aplainb"));
    QCOMPARE(clipboard.mimeData()->formats(), QStringList{"text/plain"});

    // A picture alone: nothing is inserted and an empty text replaces the picture.
    auto* picture = new QMimeData;
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    picture->setImageData(image);
    clipboard.setMimeData(picture);
    editor.document()->setModified(false);
    PasteAsPlainText(editor, clipboard);
    QCOMPARE(editor.toPlainText(), QStringLiteral("aplainb"));
    QVERIFY(!editor.document()->isModified());
    QVERIFY(!clipboard.mimeData()->hasImage());
    QCOMPARE(clipboard.mimeData()->text(), QString());
}

void ViewUnitsTest::capacity() {
    QPlainTextEdit editor;
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
    CapacityGuard guard(&editor);
    // Full but one: 16,777,214 characters in lines of 99 letters and a line break.
    const qsizetype lines = (kEditorCapacity - 1) / 100;
    QString text;
    text.reserve(kEditorCapacity);
    const QString line = QString(99, u'ж') + '\n';
    for (qsizetype i = 0; i < lines; ++i) text += line;
    text += QString(kEditorCapacity - 1 - text.size(), u'x');
    QElapsedTimer timer;
    timer.start();
    editor.setPlainText(text);
    qInfo("filled the editor in %lld ms", static_cast<long long>(timer.elapsed()));
    text.clear();
    QCOMPARE(EditorLength(editor), kEditorCapacity - 1);
    editor.moveCursor(QTextCursor::End);
    editor.setFocus();

    QTest::keyClick(&editor, Qt::Key_A);  // the last character that fits
    QCOMPARE(EditorLength(editor), kEditorCapacity);
    QTest::keyClick(&editor, Qt::Key_B);       // refused
    QTest::keyClick(&editor, Qt::Key_Return);  // refused
    QCOMPARE(EditorLength(editor), kEditorCapacity);
    QCOMPARE(guard.refusals(), 2);
    QVERIFY(editor.toPlainText().endsWith("xa"));

    // Pasting beyond the capacity is refused whole; over a selection it may fit.
    QApplication::clipboard()->setText("12");
    QVERIFY(!PasteAsPlainText(editor, *QApplication::clipboard()));
    QCOMPARE(EditorLength(editor), kEditorCapacity);
    QTextCursor c = editor.textCursor();
    c.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, 2);
    editor.setTextCursor(c);
    QVERIFY(PasteAsPlainText(editor, *QApplication::clipboard()));
    QVERIFY(editor.toPlainText().endsWith("12"));
    QCOMPARE(EditorLength(editor), kEditorCapacity);
    // Erasing still works at the limit, and then there is room again.
    QTest::keyClick(&editor, Qt::Key_Backspace);
    QTest::keyClick(&editor, Qt::Key_Z);
    QVERIFY(editor.toPlainText().endsWith("1z"));
    QCOMPARE(InsertedLength("a\r\nb\nc"), 5);
}

void ViewUnitsTest::fontStepsGoBelowZero() {
    QPlainTextEdit editor;
    QFont f("Courier New");
    f.setPixelSize(13);
    editor.setFont(f);
    SteppedFontSize size;
    size.reset(editor);
    // 13 pixels in points at the editor's resolution (10 at 96 dpi), rounded to the nearest.
    const int dpi = editor.logicalDpiY();
    QCOMPARE(size.points(), (13 * 72 + dpi / 2) / dpi);
    const int start = size.points();
    for (int i = 0; i < start + 2; ++i) size.step(editor, -1);
    QCOMPARE(size.points(), -2);
    QCOMPARE(editor.font().pointSize(), 1);  // the smallest size a font can take
    size.step(editor, +1);
    size.step(editor, +1);
    size.step(editor, +1);
    QCOMPARE(size.points(), 1);
    size.step(editor, +4);
    QCOMPARE(editor.font().pointSize(), 5);
}

void ViewUnitsTest::textToEditor_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    const QByteArray x31(31, 'x'), a32(32, 'a'), q64(64, 'q');
    QTest::newRow("nominal: CR LF, a lone CR and a lone LF are one line break each")
        << QByteArray("a\r\nb\rc\nd") << QStringLiteral("a\nb\nc\nd");
    QTest::newRow("nominal: Cyrillic letters") << QByteArray("\xC0\xFF \xA8\xB8") << QStringLiteral("Ая Ёё");
    QTest::newRow("robustness: CR LF across the end of a 32-byte stretch")
        << x31 + "\r\n" + QByteArray(40, 'y') << QString(31, u'x') + u'\n' + QString(40, u'y');
    QTest::newRow("robustness: letters at the start and end of stretches")
        << a32 + QByteArray(31, 'b') + "\xFF\xC0" + "z"
        << QString(32, u'a') + QString(31, u'b') + QStringLiteral("яА") + u'z';
    QTest::newRow("robustness: a letter in the middle of a long ASCII run")
        << q64 + "\xE0" + q64 << QString(64, u'q') + QStringLiteral("а") + QString(64, u'q');
    QTest::newRow("robustness: a CR at the very end") << QByteArray("abc\r") << QStringLiteral("abc\n");
    QTest::newRow("robustness: CR CR LF after 64 bytes") << q64 + "\r\r\n"
                                                         << QString(64, u'q') + QStringLiteral("\n\n");
    QTest::newRow("robustness: nothing") << QByteArray() << QString();
}

void ViewUnitsTest::textToEditor() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(TextToEditor(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))), shown);
}

QTEST_MAIN(ViewUnitsTest)
#include "view_units_test.moc"
