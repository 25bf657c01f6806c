// The about box: the program's icon, its name line, and a text the user can select and
// copy (it holds the paths asked for in bug reports).
#include <QIcon>
#include <QMessageBox>
#include <QStringList>

#include "main/dialogs.h"

namespace lark::gui {

void Dialogs::about(QWidget* parent, const QString& nameLine, const QString& text, const QIcon& icon) {
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.setWindowTitle(QStringLiteral("О программе ") + nameLine);
    box.setIconPixmap(icon.pixmap(64, 64));
    // The name line in bold; the lines of the text are not broken, so a path reads whole.
    QStringList lines;
    for (const QString& line : text.split(u'\n')) lines << line.toHtmlEscaped();
    box.setTextFormat(Qt::RichText);
    box.setText(QStringLiteral("<b>") + nameLine.toHtmlEscaped() + QStringLiteral("</b>"));
    box.setInformativeText(QStringLiteral("<div style=\"white-space:pre\">") + lines.join(QStringLiteral("<br>")) +
                           QStringLiteral("</div>"));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace lark::gui
