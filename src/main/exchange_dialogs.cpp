// The file dialogs of export and import.
#include <QFileDialog>
#include <QFileInfo>

#include "main/dialogs.h"

namespace lark::gui {

namespace {
const QString kHtmlFilter = QStringLiteral("Страница HTML (*.html *.htm)");
const QString kFolderFilter = QStringLiteral("Папка с текстовыми файлами (*)");
}  // namespace

QString Dialogs::exportTarget(QWidget* parent, bool& html) {
    QFileDialog dialog(parent, QStringLiteral("Экспорт"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({kHtmlFilter, kFolderFilter});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    QString path = dialog.selectedFiles().constFirst();
    html = dialog.selectedNameFilter() == kHtmlFilter;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (html && suffix != QStringLiteral("html") && suffix != QStringLiteral("htm")) path += QStringLiteral(".html");
    return path;
}

QString Dialogs::importFolder(QWidget* parent) {
    QFileDialog dialog(parent, QStringLiteral("Импорт папки с текстовыми файлами"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
}

}  // namespace lark::gui
