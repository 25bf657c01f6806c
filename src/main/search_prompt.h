#pragma once
// The input box of the search commands, through the window's Dialogs provider: one edit
// line of at most 255 characters, pre-filled with the last search string, all of it
// selected. The answer goes to the core as Windows-1251 bytes; a string with characters
// that code page cannot hold is refused like a cancel (the notebook cannot contain them,
// so it would be found nowhere), and the status bar says why.
#include <QString>
#include <optional>
#include <string>

#include "search/text_search.h"

class QWidget;

namespace lark::gui {

class Dialogs;
class WindowUi;

class SearchPrompt : public ISearchPrompt {
public:
    SearchPrompt(QWidget* owner, Dialogs& dialogs, WindowUi& ui) : owner_(owner), dialogs_(dialogs), ui_(ui) {}

    std::optional<std::string> ask(const std::string& caption, const std::string& prompt,
                                   const std::string& initial) override;

    // True when the last answer was refused for its characters.
    bool refused() const { return refused_; }

private:
    QWidget* owner_;
    Dialogs& dialogs_;
    WindowUi& ui_;
    bool refused_ = false;
};

// The status-bar notice of a refused search string.
QString SearchTextRefusedNotice();

}  // namespace lark::gui
