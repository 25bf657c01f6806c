#include "main/dialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <algorithm>

#include "main/app_texts.h"

namespace lark::gui {

namespace {

QString appTitle() { return QString::fromUtf8(kAppTitle); }

Dialogs::Answer toAnswer(int button) {
    if (button == QMessageBox::Yes) return Dialogs::Answer::Yes;
    if (button == QMessageBox::No) return Dialogs::Answer::No;
    return Dialogs::Answer::Cancel;
}

// A message box sizes itself to its text; a short text would cut the caption. A row of
// the caption's width below the rest keeps it whole.
void fitCaption(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    grid->addItem(new QSpacerItem(CaptionRoom(box, box.windowTitle()), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

int runBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
           QMessageBox::StandardButton escapeButton) {
    QMessageBox box(icon, caption, text, buttons, parent);
    // A file name or an address in the text can be copied from the box.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    fitCaption(box);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(escapeButton);
    return box.exec();
}

void configureNotebookDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setNameFilters(NotebookFilters().split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(QStringLiteral("lkp"));
}

}  // namespace

int CaptionRoom(const QWidget& dialog, const QString& caption) {
    // Title bars draw the caption in a bold face, between the icon and up to three buttons.
    constexpr int kTitleBarExtras = 160;
    QFont bold = dialog.font();
    bold.setBold(true);
    const int room = QFontMetrics(bold).horizontalAdvance(caption) + kTitleBarExtras;
    // Never wider than most of the screen: a caption that long is cut however wide the box.
    const QScreen* screen = dialog.screen();
    return screen ? std::min(room, screen->availableGeometry().width() * 9 / 10) : room;
}

QString NotebookFilters() {
    // The file dialog matches name filters without regard to letter case: *.lkp also
    // lists NOTES.LKP and Notes.Lkp.
    return QStringLiteral("Файлы блокнотика (*.lkp);;Все файлы (*)");
}

void Dialogs::errorBox(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::Critical, appTitle(), text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
}

void Dialogs::message(QWidget* parent, const QString& text) {
    runBox(parent, QMessageBox::NoIcon, appTitle(), text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok);
}

bool Dialogs::confirm(QWidget* parent, const QString& text) {
    return runBox(parent, QMessageBox::Question, QString::fromUtf8(kConfirmCaption), text,
                  QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No) == QMessageBox::Yes;
}

Dialogs::Answer Dialogs::askRecovery(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromUtf8(kConfirmCaption), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Позже"));
    box.setDefaultButton(QMessageBox::Yes);
    // Only an explicit "Нет" deletes the copy.
    box.setEscapeButton(QMessageBox::Cancel);
    fitCaption(box);
    return toAnswer(box.exec());
}

Dialogs::Answer Dialogs::askSaveChanges(QWidget* parent) {
    return toAnswer(
        runBox(parent, QMessageBox::Question, QString::fromUtf8(kConfirmCaption), QString::fromUtf8(kSaveChangesText),
               QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::Cancel));
}

Dialogs::Answer Dialogs::askOverwrite(QWidget* parent) {
    return toAnswer(runBox(parent, QMessageBox::Warning, appTitle(), QString::fromUtf8(kOverwriteText),
                           QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
                           QMessageBox::Cancel));
}

Dialogs::Answer Dialogs::askChangedOnDisk(QWidget* parent, const QString& path) {
    QMessageBox box(QMessageBox::Warning, appTitle(), QString::fromUtf8(kChangedOnDiskText).arg(path),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Перезаписать"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Сохранить как..."));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
    QPushButton* merge = box.addButton(QStringLiteral("Объединить"), QMessageBox::ApplyRole);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::Cancel);
    fitCaption(box);
    const int button = box.exec();
    return box.clickedButton() == merge ? Answer::Merge : toAnswer(button);
}

QString Dialogs::openFile(QWidget* parent, const QString& folder, bool& readOnly) {
    QFileDialog dialog(parent, QString::fromUtf8(kOpenTitle), folder);
    configureNotebookDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setSizeGripEnabled(true);
    // The non-native dialog has a grid layout; the check box goes below its rows.
    auto* box = new QCheckBox(QString::fromUtf8(kReadOnlyBoxText), &dialog);
    box->setObjectName(QStringLiteral("cbReadOnly"));
    box->setChecked(readOnly);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) grid->addWidget(box, grid->rowCount(), 0, 1, -1);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    readOnly = box->isChecked();
    return dialog.selectedFiles().constFirst();
}

QString Dialogs::saveFile(QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent, QString(), folder);
    configureNotebookDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().constFirst();
}

bool Dialogs::inputBox(QWidget* parent, const QString& caption, const QString& prompt, QString& value) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    if (auto* edit = dialog.findChild<QLineEdit*>()) {
        edit->setMaxLength(255);
        // Room for the caption, and for a search string of a few words.
        constexpr int kComfortableChars = 48;
        edit->setMinimumWidth(
            std::max(CaptionRoom(dialog, caption), edit->fontMetrics().averageCharWidth() * kComfortableChars));
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    value = dialog.textValue();
    return true;
}

bool Dialogs::printDialog(QWidget* parent, QPrinter& printer) {
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace lark::gui
