#pragma once
// Prints a plain text on a printer as one job: the text in the given font, laid out over
// the printer's whole printable page area, lines wrapping at the page width, each page
// filled before the next one starts.
#include <QString>

class QFont;
class QPrinter;

namespace lark::gui {

// Returns the number of pages printed (at least 1, an empty text prints one blank page),
// or 0 when the printer could not be started.
int PrintPlainText(QPrinter& printer, const QString& text, const QFont& font, const QString& jobTitle);

}  // namespace lark::gui
