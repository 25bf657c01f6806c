#include "support/pdf_pages.h"

#include <QProcess>
#include <QRegularExpression>

namespace lark::guitest {
namespace {

QString unescaped(QString text) {
    text.replace(QLatin1String("&lt;"), QLatin1String("<"));
    text.replace(QLatin1String("&gt;"), QLatin1String(">"));
    text.replace(QLatin1String("&quot;"), QLatin1String("\""));
    text.replace(QLatin1String("&apos;"), QLatin1String("'"));
    text.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text;
}

}  // namespace

QStringList PdfPage::texts() const {
    QStringList out;
    for (const PdfWord& w : words) out << w.text;
    return out;
}

std::vector<PdfPage> ReadPdfPages(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {"-bbox", "-enc", "UTF-8", pdf, "-"});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression tag(
        R"re(<page width="([\d.]+)" height="([\d.]+)">|<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    std::vector<PdfPage> pages;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!m.captured(1).isEmpty()) {
            pages.push_back({QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()), {}});
        } else if (!pages.empty()) {
            const QPointF from(m.captured(3).toDouble(), m.captured(4).toDouble());
            const QPointF to(m.captured(5).toDouble(), m.captured(6).toDouble());
            pages.back().words.push_back({unescaped(m.captured(7)), QRectF(from, to)});
        }
    }
    return pages;
}

}  // namespace lark::guitest
