// Search commands of the "&Правка" menu (find in the section, global search, search
// again, the nearest-dates report) and the editor's links. The logic is the core's
// (src/search); the window supplies the input box, the report box, the desktop for
// links that are not section links, and keeps one SearchState across commands.
#include <QDesktopServices>
#include <QPalette>
#include <QUrl>

#include "document/cp1251.h"
#include "editor/editor.h"
#include "main/app_texts.h"
#include "main/dialogs.h"
#include "main/find_all_panel.h"
#include "main/search_prompt.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"
#include "main/window_ui.h"
#include "search/find_all.h"
#include "search/nearest_dates.h"
#include "search/section_links.h"
#include "search/text_search.h"

namespace lark::gui {

namespace {

// The selection keeps its colours when the widget loses the focus.
void KeepSelectionShown(QWidget* widget) {
    QPalette pal = widget->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        pal.setBrush(QPalette::Inactive, role, pal.brush(QPalette::Active, role));
    widget->setPalette(pal);
}

// Runs a core search command on the window's search state, through the window's input
// box. When it finds nothing more, the status bar says so (no box interrupts the user).
template <class Command>
void WithSearchState(TFrame& frame, Command&& command) {
    SearchPrompt prompt(&frame, frame.dialogs(), frame.ui());
    const QString nothingMore = QString::fromUtf8(kNothingMoreFoundText);
    const SearchOutcome outcome = command(frame.document(), frame.searchState(), prompt);
    if (outcome == SearchOutcome::NothingMore) frame.ui().setNotice(nothingMore);
    else if (outcome == SearchOutcome::Found && frame.ui().statusText() == nothingMore) frame.ui().setStatusText({});
}

// The address the desktop is given for a link that is not a section link.
QUrl ExternalLinkUrl(const QString& linkText) {
    if (linkText.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return QUrl(QStringLiteral("http://") + linkText, QUrl::TolerantMode);
    return QUrl(linkText, QUrl::TolerantMode);
}

}  // namespace

void TFrame::connectSearch() {
    KeepSelectionShown(tvNodes);
    KeepSelectionShown(reNodeContent);
    InstallEditorLinks(reNodeContent, [this](const QString& link) { EditorLinkClick(link); });
    dkFindAll = new FindAllPanel(*this, *this, *reNodeContent);
    addDockWidget(Qt::BottomDockWidgetArea, dkFindAll);
    dkFindAll->hide();
}

void TFrame::miFindClick() {
    WithSearchState(*this,
                    [](Document& doc, SearchState& s, ISearchPrompt& p) { return lark::miFindClick(doc, s, p); });
}

void TFrame::miEntireSearchClick() {
    WithSearchState(
        *this, [](Document& doc, SearchState& s, ISearchPrompt& p) { return lark::miEntireSearchClick(doc, s, p); });
}

void TFrame::miSearchAgainClick() {
    WithSearchState(
        *this, [](Document& doc, SearchState& s, ISearchPrompt& p) { return lark::miSearchAgainClick(doc, s, p); });
}

void TFrame::miFindAllClick() {
    SearchPrompt prompt(this, dialogs_, *ui_);
    if (const std::optional<std::string> text = AskFindAllText(search_, prompt)) dkFindAll->start(*text);
}

void TFrame::miNearestDatesClick() {
    // The stored texts only: edits of the shown section not yet stored are not scanned.
    const std::string report = NearestDatesReport(*doc_, TodayKey());
    dialogs_.report(this, BytesToQString(report));
}

void TFrame::EditorLinkClick(const QString& linkText) {
    runCommand([&] {
        // The editor holds only characters of the code page: the conversion is exact.
        if (lark::EditorLinkClick(*doc_, QStringToBytes(linkText)) != LinkAction::OpenExternally) return;
        // The desktop opens what it can; a link it cannot open is not reported.
        QDesktopServices::openUrl(ExternalLinkUrl(linkText));
    });
}

}  // namespace lark::gui
