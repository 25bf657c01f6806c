#include "editor/text_printer.h"

#include <QAbstractTextDocumentLayout>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextFrameFormat>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>
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

}  // namespace

int PrintPlainText(QPrinter& printer, const QString& text, const QFont& font, const QString& jobTitle) {
    printer.setDocName(jobTitle);
    printer.setFullPage(false);  // origin and extent: the printable area of the page

    QPainter painter;
    if (!painter.begin(&printer)) return 0;

    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const QSizeF pageSize(page.width(), page.height());
    if (pageSize.isEmpty()) return 0;

    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&printer);
    doc.setDefaultFont(paperFont(font));
    QTextOption option = doc.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(48);  // every half inch; the layout scales from 96 dpi to the printer
    doc.setDefaultTextOption(option);
    doc.setDocumentMargin(0);
    doc.setPlainText(text);
    doc.setPageSize(pageSize);

    // Each line goes on the page where the layout placed its top; a line that would cross
    // a page's lower edge has already been moved to the next page by the layout.
    struct PlacedLine {
        QTextLine line;
        QPointF origin;  // its block's, in document coordinates
    };
    std::vector<std::vector<PlacedLine>> pages(1);
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QPointF origin = doc.documentLayout()->blockBoundingRect(block).topLeft();
        const QTextLayout* layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const qreal top = origin.y() + line.y();
            const auto onPage = static_cast<std::size_t>(std::max(0.0, std::floor(top / pageSize.height())));
            if (onPage >= pages.size()) pages.resize(onPage + 1);
            pages[onPage].push_back({line, origin});
        }
    }

    painter.setPen(Qt::black);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        if (p > 0) printer.newPage();
        const qreal pageTop = static_cast<qreal>(p) * pageSize.height();
        for (const PlacedLine& placed : pages[p]) placed.line.draw(&painter, placed.origin - QPointF(0, pageTop));
    }
    const int pageCount = static_cast<int>(pages.size());
    painter.end();
    return pageCount;
}

}  // namespace lark::gui
