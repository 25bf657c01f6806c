// Find in a large section shown in the editor: the editor's own find over its document
// against the core's case-folding search of the same bytes.
//
// The section is about 10 MB of the corpus's texts (whole sections, in tree order, CR LF
// between them), shown in the editor reNodeContent as the window shows a section. Both
// sides look for a string found nowhere, so each scans the whole text; the editor side
// is a find the way FindInSection asks for it (IEditor::findText from the start), after
// a small edit of the shown text.
#include <QApplication>
#include <QElapsedTimer>
#include <QTextCursor>
#include <QTextDocument>
#include <memory>

#include "bench_util.h"
#include "document/cp1251.h"
#include "document/document.h"
#include "document/file_access.h"
#include "document/fold_find.h"
#include "document/load_bytes.h"
#include "document/memory_view.h"
#include "editor/editor_links.h"
#include "editor/note_editor.h"

namespace {

using namespace lark;
using namespace lark::bench;

constexpr std::size_t kSectionBytes = 10u << 20;
constexpr double kTarget = 3.0;
// Lower-cased; found nowhere (the corpus has no tilde).
constexpr std::string_view kMissing = "zq~";

QApplication& app() {
    static int argc = 1;
    static char name[] = "larkpad_gui_bench";
    static char* argv[] = {name, nullptr};
    static QApplication instance(argc, argv);
    return instance;
}

std::string sectionFromCorpus(const Context& ctx) {
    MemoryTreeView view;
    MemoryEditor editor;
    MemoryUi ui;
    Document doc(view, editor, ui);
    LoadFromBytes(doc, ReadFileUnlocked(ctx.path(kPlainCorpus)), true, ctx.path(kPlainCorpus));
    std::string text;
    text.reserve(kSectionBytes + (1u << 16));
    for (int i = 0; i < doc.tree().count() && text.size() < kSectionBytes; ++i) {
        if (!text.empty()) text += "\r\n";
        text += doc.tree().at(i)->text();
    }
    return text;
}

void editorFind(Context& ctx) {
    app();
    const std::string text = sectionFromCorpus(ctx);
    if (FindFolded(text, kMissing) != kNotFound) throw std::runtime_error("the probe string occurs in the corpus");

    // The window's editor: links found and underlined while the text is shown.
    gui::NoteEditor editor;
    editor.setLinksEnabled(true);
    gui::InstallEditorLinks(&editor, {});
    const double showSeconds = timeIt([&] { editor.setText(text); });
    // A small edit, as the user makes them: the editor follows it without reading all.
    QTextCursor(editor.document()).insertText(QStringLiteral("правка\n"));
    const std::string shown = editor.text();  // the bytes the editor stands for (CR LF)

    std::vector<double> core, gui;
    const int reps = std::max(ctx.reps, 5);
    for (int r = 0; r < reps; ++r) {
        std::size_t a = 0;
        core.push_back(timeIt([&] { a = FindFolded(shown, kMissing, 0); }));
        std::optional<std::size_t> b;
        gui.push_back(timeIt([&] { b = editor.findText(kMissing, 0); }));
        if (a != kNotFound || b) throw std::runtime_error("the probe string was found");
    }
    // A hit near the end, checked against the byte text's answer.
    const std::string probe = shown.substr(shown.size() - 40, 12);
    const std::string lowered = cp1251::toLower(probe);
    const std::size_t want = FindFolded(shown, lowered, shown.size() - 60);
    if (editor.findText(lowered, shown.size() - 60).value_or(kNotFound) != want)
        throw std::runtime_error("the editor's find and the byte search disagree");

    const double c = median(core), g = median(gui);
    note("section " + std::to_string(shown.size()) + " bytes, " + std::to_string(editor.blockCount()) +
         " lines; shown in " + formatNumber(showSeconds * 1000, "%.0f") + " ms");
    note("core FindFolded " + formatNumber(c * 1000, "%.2f") + " ms, editor findText " +
         formatNumber(g * 1000, "%.2f") + " ms");
    printFigure("editor_find_10mb", g / c, kTarget);
}

}  // namespace

LARK_BENCH_CASE(60, "editor_find_10mb", editorFind);
