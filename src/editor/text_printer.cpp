#include "editor/text_printer.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <vector>

namespace lark::gui {
namespace {

// A font given in screen pixels keeps its apparent size on paper: pixels become points at
// the screen's resolution, as the editor shows them.
QFont paperFont(const QFont& font) {
    QFont f(font);
    if (f.pointSizeF() <= 0 && f.pixelSize() > 0) {
        qreal dpi = 96;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) dpi = screen->logicalDotsPerInchY();
        f.setPointSizeF(f.pixelSize() * 72.0 / dpi);
    }
    return f;
}

constexpr qreal kHeadingScale = 1.4;
constexpr int kFileNameBytes = 255;  // NAME_MAX of the usual file systems

// A text laid out on its own at a width, as the heading is.
struct Paragraph {
    QTextLayout layout;
    qreal height = 0;

    Paragraph(const QString& text, const QFont& font, QPaintDevice* device, qreal width) : layout(text, font, device) {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout.endLayout();
    }
};

}  // namespace

int PrintPlainText(QPrinter& printer, const PrintedText& printed) {
    printer.setDocName(printed.jobTitle);
    printer.setFullPage(false);  // origin and extent: the page within its margins

    QPainter painter;
    if (!painter.begin(&printer)) return 0;

    const QRectF area = printer.pageRect(QPrinter::DevicePixel);
    if (area.isEmpty()) return 0;
    const QFont font = paperFont(printed.font);
    const QFontMetricsF metrics(font, &printer);
    // The footer's line and a blank line above it are kept free on every page.
    const qreal footerTop = area.height() - metrics.height();
    const qreal bodyBottom = std::max(metrics.height(), footerTop - metrics.lineSpacing());

    QFont headingFont(font);
    headingFont.setBold(true);
    headingFont.setPointSizeF(font.pointSizeF() * kHeadingScale);
    const Paragraph heading(printed.heading, headingFont, &printer, area.width());
    // The first page's text starts a blank line below the heading.
    const qreal firstBodyTop = printed.heading.isEmpty() ? 0 : heading.height + metrics.lineSpacing();

    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&printer);
    doc.setDefaultFont(font);
    QTextOption option = doc.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(48);  // every half inch; the layout scales from 96 dpi to the printer
    doc.setDefaultTextOption(option);
    doc.setDocumentMargin(0);
    doc.setPlainText(printed.text);
    doc.setTextWidth(area.width());

    // Lines go on a page in their order until the next one would reach into the footer's
    // room; a page takes at least one line, however tall.
    struct PlacedLine {
        QTextLine line;
        QPointF origin;  // its block's, on the page
    };
    std::vector<std::vector<PlacedLine>> pages(1);
    qreal pageStart = 0;  // the document's y shown at the page's body top
    qreal bodyTop = firstBodyTop;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QPointF origin = doc.documentLayout()->blockBoundingRect(block).topLeft();
        const QTextLayout* layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const qreal top = origin.y() + line.y();
            if (!pages.back().empty() && bodyTop + top + line.height() - pageStart > bodyBottom) {
                pages.emplace_back();
                pageStart = top;
                bodyTop = 0;
            }
            pages.back().push_back({line, origin + QPointF(0, bodyTop - pageStart)});
        }
    }

    painter.setPen(Qt::black);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        if (p > 0) printer.newPage();
        if (p == 0 && !printed.heading.isEmpty()) heading.layout.draw(&painter, QPointF(0, 0));
        for (const PlacedLine& placed : pages[p]) placed.line.draw(&painter, placed.origin);
        painter.setFont(font);
        painter.drawText(QRectF(0, footerTop, area.width(), metrics.height()), Qt::AlignHCenter | Qt::AlignTop,
                         QString::number(p + 1));
    }
    const int pageCount = static_cast<int>(pages.size());
    painter.end();
    return pageCount;
}

void UseDefaultPageMargins(QPrinter& printer) {
    QPageLayout layout = printer.pageLayout();
    layout.setUnits(QPageLayout::Millimeter);
    const QMarginsF least = layout.minimumMargins();
    const QMarginsF margins(std::max(kDefaultPageMarginMm, least.left()), std::max(kDefaultPageMarginMm, least.top()),
                            std::max(kDefaultPageMarginMm, least.right()),
                            std::max(kDefaultPageMarginMm, least.bottom()));
    printer.setPageMargins(margins, QPageLayout::Millimeter);
}

QString DefaultPdfPath(const QString& notebookFile, const QString& sectionName) {
    const QString folder = notebookFile.isEmpty() ? QDir::homePath() : QFileInfo(notebookFile).absolutePath();
    QString name = sectionName.trimmed();
    for (QChar& c : name)
        if (c == u'/' || c.category() == QChar::Other_Control) c = u'_';
    if (name.isEmpty()) name = QStringLiteral("print");
    const QString suffix = QStringLiteral(".pdf");
    while ((name + suffix).toUtf8().size() > kFileNameBytes) {
        name.chop(1);
        if (!name.isEmpty() && name.back().isHighSurrogate()) name.chop(1);
    }
    return QDir(folder).filePath(name + suffix);
}

void ProposePdfFile(QPrinter& printer, const QString& path) {
    // Naming a PDF file turns the printer into a PDF writer; the system's default printer,
    // where there is one, is chosen again and keeps the name for the dialog's file choice.
    const QPrinter::OutputFormat format = printer.outputFormat();
    printer.setOutputFileName(path);
    printer.setOutputFormat(format);
}

}  // namespace lark::gui
