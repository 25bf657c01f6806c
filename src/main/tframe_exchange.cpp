// Export of the notebook as an HTML page or a folder of text files, and import of a folder
// as a new, unnamed notebook.
#include <QDir>
#include <QFileInfo>
#include <vector>

#include "document/file_replace.h"
#include "document/format.h"
#include "document/load_bytes.h"
#include "document/snapshot.h"
#include "files/document_commands.h"
#include "files/html_export.h"
#include "files/notebook_export.h"
#include "files/notebook_import.h"
#include "main/dialogs.h"
#include "main/tframe.h"
#include "main/window_ui.h"

namespace lark::gui {

void TFrame::miExportClick() {
    if (commands_->commitEdits) commands_->commitEdits();
    if (!confirmPlainExport()) return;
    bool html = false;
    const QString target = dialogs_.exportTarget(this, html);
    if (target.isEmpty()) return;
    // What a save would write now, the text being edited included.
    const auto notebook = TakeSnapshot(*doc_);
    const Section* selected = doc_->selected();
    const std::optional<int> index = selected ? std::optional<int>(doc_->tree().indexOf(selected)) : std::nullopt;
    if (html) {
        const QString title = doc_->FFileName.empty() ? QFileInfo(target).completeBaseName()
                                                      : QFileInfo(QString::fromStdString(doc_->FFileName)).fileName();
        ReplaceFileContents(target.toStdString(), files::NotebookHtml(*notebook, title.toStdString()));
    } else {
        files::ExportFolder(*notebook, index, target.toStdString());
    }
    ui_->setStatusText(QStringLiteral("Экспортировано в ") + target);
}

void TFrame::miImportClick() {
    AskSaveChanges();
    const QString folder = dialogs_.importFolder(this);
    if (folder.isEmpty()) return;
    // Read and checked before anything changes: a refused folder leaves the notebook as it is.
    files::ImportedNotebook imported = files::ImportFolder(folder.toStdString());
    TextBuffer content = WriteDocument(imported.notebook);
    doc_->ClearDocument();
    LoadFromBytes(*doc_, std::move(content), false, std::string());
    doc_->view().showSelection(doc_->selected());
    doc_->tvNodesChange(false);
    // A new notebook that no file holds yet: the next save asks for a name.
    doc_->FFileName.clear();
    doc_->ForgetDiskState();
    // Its save dialog starts beside the folder it came from, not in the data folder.
    commands_->setUnnamedFolder(QFileInfo(QDir::cleanPath(folder)).absolutePath());
    doc_->setTreeModified(true);
    ui_->setStatusText(QStringLiteral("Импортировано из ") + folder);
    std::vector<QString> left;
    for (const std::string& path : imported.skipped)
        left.push_back(QString::fromStdString(path) + QStringLiteral(" (не .txt и не .md)"));
    for (const std::string& path : imported.links)
        left.push_back(QString::fromStdString(path) + QStringLiteral(" (символьная ссылка)"));
    if (!left.empty()) {
        constexpr std::size_t kListed = 20;
        QString text = QStringLiteral("Не импортированы:");
        for (std::size_t i = 0; i < left.size() && i < kListed; ++i) text += QStringLiteral("\n") + left[i];
        if (left.size() > kListed) text += QStringLiteral("\n... и ещё %1").arg(left.size() - kListed);
        dialogs_.message(this, text);
    }
}

}  // namespace lark::gui
