#include "main/search_prompt.h"

#include "editor/editor.h"
#include "main/dialogs.h"
#include "main/window_ui.h"

namespace lark::gui {

QString SearchTextRefusedNotice() {
    return QStringLiteral("В строке поиска есть символы, которых нет в кодировке Windows-1251: поиск не выполнен");
}

std::optional<std::string> SearchPrompt::ask(const std::string& caption, const std::string& prompt,
                                             const std::string& initial) {
    refused_ = false;
    QString value = BytesToQString(initial);
    if (!dialogs_.inputBox(owner_, QString::fromUtf8(caption), QString::fromUtf8(prompt), value)) return std::nullopt;
    value.truncate(static_cast<qsizetype>(kSearchTextMax));
    qsizetype replaced = 0;
    std::string bytes = QStringToBytes(value, &replaced);
    if (replaced > 0) {
        refused_ = true;
        ui_.setStatusText(SearchTextRefusedNotice());
        return std::nullopt;
    }
    return bytes;
}

}  // namespace lark::gui
