#pragma once
// Prints a plain text on a printer as one job: the section's name as a heading at the top
// of the first page, then the text in the given font laid out within the page margins,
// lines wrapping at the width between them, each page filled before the next one starts,
// and the page's number centred in the footer of every page.
#include <QFont>
#include <QString>

class QPrinter;

namespace lark::gui {

struct PrintedText {
    QString text;
    QFont font;
    QString jobTitle;
    QString heading;  // above the text on the first page; empty: no heading
};

// Returns the number of pages printed (at least 1, an empty text prints one page), or 0
// when the printer could not be started.
int PrintPlainText(QPrinter& printer, const PrintedText& printed);

// The margins a print starts with: 20 mm on each side, or the printer's least margin on a
// side where that is wider.
void UseDefaultPageMargins(QPrinter& printer);
inline constexpr double kDefaultPageMarginMm = 20;

// Where a print to a PDF file goes unless the user picks another file: the section's name
// made a file name (no '/', no control characters, at most 255 bytes) with ".pdf", in the
// notebook's folder, or in the home folder for a notebook not saved yet.
QString DefaultPdfPath(const QString& notebookFile, const QString& sectionName);

// Proposes `path` as the print dialog's PDF file while keeping the printer that is the
// system's default (if there is one) as the chosen printer.
void ProposePdfFile(QPrinter& printer, const QString& path);

}  // namespace lark::gui
