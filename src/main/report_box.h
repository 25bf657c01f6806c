#pragma once
// The box of long reports: a plain message with the application title and an OK button
// whose text scrolls, so that a report taller than the screen can still be read to its
// end and closed.
#include <QDialog>

class QPlainTextEdit;

namespace lark::gui {

class ReportBox : public QDialog {
    Q_OBJECT
public:
    // `text` may use CR LF line breaks.
    ReportBox(QWidget* parent, const QString& text);
    QPlainTextEdit* textView() const { return text_; }

private:
    QPlainTextEdit* text_;
};

}  // namespace lark::gui
