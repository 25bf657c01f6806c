#include "search/text_search.h"

#include "document/cp1251.h"
#include "document/fold_find.h"

namespace lark {

namespace {

// Shows the input box; stores a confirmed answer into FSearchText.
bool AskSearchText(SearchState& state, ISearchPrompt& prompt, const char* caption) {
    std::optional<std::string> answer = prompt.ask(caption, kSearchPromptText, state.FSearchText);
    if (!answer) return false;
    if (answer->size() > kSearchTextMax) answer->resize(kSearchTextMax);
    state.FSearchText = std::move(*answer);
    return true;
}

}  // namespace

bool FindInSection(Document& doc, std::string_view searchText) {
    doc.ui().processEvents();
    IEditor& editor = doc.editor();
    const std::size_t length = editor.selectionLength();
    const std::size_t start = length ? editor.selectionStart() + length : 0;
    const std::optional<std::size_t> found = editor.findText(cp1251::toLower(searchText), start);
    if (!found) return false;
    editor.focusEditor();  // carries on when the focus cannot be taken
    editor.select(*found, searchText.size());
    return true;
}

SearchHit GlobalSearch(Document& doc, SearchState& state, std::string_view searchText) {
    const std::string lowered = cp1251::toLower(searchText);
    if (lowered.empty()) return SearchHit::None;  // contained nowhere
    SectionTree& tree = doc.tree();
    const int count = tree.count();
    for (int i = state.FSearchNode < 0 ? 0 : state.FSearchNode; i < count; ++i) {
        // Events processed during the walk may have removed sections: stop at the
        // current last one.
        if (i >= tree.count()) break;
        Section* section = tree.at(i);
        if (i != state.FNameMatchNode && ContainsFolded(section->name(), lowered)) {
            state.FSearchNode = i;
            state.FNameMatchNode = i;
            doc.view().focusTree();
            doc.SelectSection(section);
            return SearchHit::Name;
        }
        if (!section->content()) continue;
        if (!ContainsFolded(section->text(), lowered)) continue;
        state.FSearchNode = i;
        doc.SelectSection(section);
        doc.ui().processEvents();
        if (FindInSection(doc, lowered)) return SearchHit::Text;
    }
    return SearchHit::None;
}

namespace {

SearchOutcome Outcome(bool found) { return found ? SearchOutcome::Found : SearchOutcome::NothingMore; }

}  // namespace

SearchOutcome miFindClick(Document& doc, SearchState& state, ISearchPrompt& prompt) {
    if (!AskSearchText(state, prompt, kFindCaption)) return SearchOutcome::Cancelled;
    state.FGlobalSearch = false;
    return Outcome(FindInSection(doc, state.FSearchText));
}

SearchOutcome miEntireSearchClick(Document& doc, SearchState& state, ISearchPrompt& prompt) {
    if (!AskSearchText(state, prompt, kGlobalCaption)) return SearchOutcome::Cancelled;
    state.FGlobalSearch = true;
    state.FSearchNode = 0;
    state.FNameMatchNode = -1;
    return Outcome(GlobalSearch(doc, state, state.FSearchText) != SearchHit::None);
}

SearchOutcome miSearchAgainClick(Document& doc, SearchState& state, ISearchPrompt& prompt) {
    if (state.FSearchText.empty()) return miFindClick(doc, state, prompt);
    if (state.FGlobalSearch) return Outcome(GlobalSearch(doc, state, state.FSearchText) != SearchHit::None);
    return Outcome(FindInSection(doc, state.FSearchText));
}

}  // namespace lark
