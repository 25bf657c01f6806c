// The password box: one line whose characters are not shown.
#include <QInputDialog>
#include <QLineEdit>
#include <algorithm>

#include "main/app_texts.h"
#include "main/dialogs.h"

namespace lark::gui {

bool Dialogs::askPassword(QWidget* parent, const QString& prompt, QString& password) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(QString::fromUtf8(kAppTitle));
    dialog.setLabelText(prompt);
    dialog.setTextEchoMode(QLineEdit::Password);
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        constexpr int kComfortableChars = 32;
        edit->setMinimumWidth(std::max(CaptionRoom(dialog, dialog.windowTitle()),
                                       edit->fontMetrics().averageCharWidth() * kComfortableChars));
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    password = dialog.textValue();
    dialog.setTextValue(QString());
    return true;
}

}  // namespace lark::gui
