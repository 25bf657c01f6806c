#pragma once
// Find in the current section, global search over all sections, and search again.
// The window keeps one SearchState for its lifetime and supplies the input box.
#include <optional>
#include <string>
#include <string_view>

#include "document/document.h"

namespace lark {

// State of the searches; lives as long as the main window and is never reset by new
// or open.
struct SearchState {
    std::string FSearchText;     // the last search string (Windows-1251), as typed
    bool FGlobalSearch = false;  // search again continues the global search
    int FSearchNode = 0;         // absolute index where the next global step starts
    int FNameMatchNode = -1;     // section whose name was the last global match, or -1
};

// The modal input box: caption and prompt are UTF-8; `initial` and the answer are
// notebook bytes (Windows-1251). Nothing when the user cancels.
class ISearchPrompt {
public:
    virtual ~ISearchPrompt() = default;
    virtual std::optional<std::string> ask(const std::string& caption, const std::string& prompt,
                                           const std::string& initial) = 0;
};

inline constexpr const char* kFindCaption = "Поиск в текущем разделе";
inline constexpr const char* kGlobalCaption = "Глобальный поиск";
inline constexpr const char* kSearchPromptText = "Введите подстроку:";
inline constexpr std::size_t kSearchTextMax = 255;  // the input box's edit line limit

// Finds the next occurrence of `searchText` in the editor after its selection (from the
// start of the text when nothing is selected), letter case ignored, and selects it.
bool FindInSection(Document& doc, std::string_view searchText);

// What one global-search step found.
enum class SearchHit { None, Name, Text };

// One step of the global search from state.FSearchNode. Never wraps around.
SearchHit GlobalSearch(Document& doc, SearchState& state, std::string_view searchText);

// What a search command came to: the user cancelled its input box, it found an
// occurrence, or there was nothing more to find.
enum class SearchOutcome { Cancelled, Found, NothingMore };

SearchOutcome miFindClick(Document& doc, SearchState& state, ISearchPrompt& prompt);          // Ctrl+F
SearchOutcome miEntireSearchClick(Document& doc, SearchState& state, ISearchPrompt& prompt);  // Ctrl+Shift+F
SearchOutcome miSearchAgainClick(Document& doc, SearchState& state, ISearchPrompt& prompt);   // Ctrl+L

}  // namespace lark
