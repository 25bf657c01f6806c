#include "main/report_box.h"

#include <algorithm>

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>

#include "main/app_texts.h"
#include "main/dialogs.h"

namespace lark::gui {

ReportBox::ReportBox(QWidget* parent, const QString& text) : QDialog(parent), text_(new QPlainTextEdit(this)) {
    setObjectName(QStringLiteral("ReportBox"));
    setWindowTitle(QString::fromUtf8(kAppTitle));
    setSizeGripEnabled(true);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');

    text_->setObjectName(QStringLiteral("reportText"));
    text_->setReadOnly(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);  // keys scroll
    // The keys move an unseen cursor: a blinking one would make the report look editable.
    text_->setCursorWidth(0);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setPlainText(shown);
    // Looks like a message: the window's background behind the text.
    QPalette pal = text_->palette();
    pal.setBrush(QPalette::Base, pal.brush(QPalette::Window));
    text_->setPalette(pal);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addWidget(buttons);

    // As large as the text needs, but never beyond most of the screen: the rest scrolls.
    const QFontMetrics fm(text_->font());
    int widest = 0;
    const QStringList lines = shown.split(u'\n');
    for (const QString& line : lines) widest = std::max(widest, fm.horizontalAdvance(line));
    const QScreen* screen = parent ? parent->screen() : this->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int margins = 2 * text_->document()->documentMargin() + 24;
    const int least = std::max(240, CaptionRoom(*this, windowTitle()) - 24);  // the caption stays whole
    const int w = std::clamp(widest + margins + text_->verticalScrollBar()->sizeHint().width(), least,
                             std::max(least, area.width() * 9 / 10));
    const int h = std::clamp(static_cast<int>(lines.size()) * fm.lineSpacing() + margins, 60, area.height() * 7 / 10);
    text_->setMinimumSize(std::min(w, 240), std::min(h, 60));
    resize(w + 24, h + buttons->sizeHint().height() + 24);
}

void Dialogs::report(QWidget* parent, const QString& text) {
    ReportBox box(parent, text);
    box.exec();
}

}  // namespace lark::gui
