#pragma once
// What a PDF shows, read back with poppler's pdftotext: each page's size and its words with
// their boxes, in points from the page's top left corner.
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <vector>

namespace lark::guitest {

struct PdfWord {
    QString text;
    QRectF box;
};

struct PdfPage {
    QSizeF size;
    std::vector<PdfWord> words;

    QStringList texts() const;
};

// Empty when the file cannot be read.
std::vector<PdfPage> ReadPdfPages(const QString& pdf);

inline constexpr double kPointsPerMm = 72.0 / 25.4;

}  // namespace lark::guitest
