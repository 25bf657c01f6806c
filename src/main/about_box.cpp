// The about box: the program's icon, its name line, and a text the user can select and
// copy (it holds the paths asked for in bug reports).
#include <QIcon>
#include <QMessageBox>

#include "main/dialogs.h"

namespace lark::gui {

void Dialogs::about(QWidget* parent, const QString& nameLine, const QString& text, const QIcon& icon) {
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("AboutBox"));
    box.setWindowTitle(QStringLiteral("О программе ") + nameLine);
    box.setIconPixmap(icon.pixmap(64, 64));
    box.setTextFormat(Qt::PlainText);
    box.setText(nameLine);
    box.setInformativeText(text);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

}  // namespace lark::gui
