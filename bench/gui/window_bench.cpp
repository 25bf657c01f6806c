// The window against the core it shows.
//
// window_open: opening the corpus (100,000 sections) in the main window, from creating the
// window until the start-up document is loaded and the tree is laid out, against the
// core's LoadDocument of the same file into in-memory views. Each repetition runs in a
// fresh process, both sides in the same process one after the other, taking turns at
// going first.
//
// select_1mb_section: selecting a section that holds 1 MB of text in the window (store
// step, Windows-1251 conversion, editor fill) against QPlainTextEdit::setPlainText of the
// same text alone.
#include <QApplication>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTreeView>
#include <cstdio>

#include "bench_util.h"
#include "document/document.h"
#include "document/memory_view.h"
#include "editor/note_editor.h"
#include "editor/text_codec.h"
#include "gui/quiet_dialogs.h"
#include "main/dialogs.h"
#include "main/section_model.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"
#include "support/frame_access.h"

namespace {

using namespace lark;
using lark::guitest::Action;
using lark::guitest::Child;
using namespace lark::bench;

constexpr double kOpenTarget = 1.3;
constexpr double kSelectTarget = 1.2;

struct App {
    int argc = 1;
    char name[32] = "larkpad_gui_bench";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

double coreLoad(const std::string& path) {
    MemoryTreeView view;
    MemoryEditor editor;
    MemoryUi ui;
    Document doc(view, editor, ui);
    return timeIt([&] {
        if (!doc.LoadDocument(path, false)) throw std::runtime_error("core load failed");
    });
}

double windowOpen(const std::string& path) {
    QuietDialogs dialogs;
    std::unique_ptr<gui::TFrame> frame;
    double t1 = 0, t2 = 0;
    const double t = timeIt([&] {
        frame = std::make_unique<gui::TFrame>(dialogs, QStringList{QString::fromStdString(path)});
        t1 = nowSeconds();
        guitest::WaitUntilReady(*frame, -1);
        t2 = nowSeconds();
        // The tree lays out its rows and paints once.
        Child<gui::SectionTreeView>(*frame, "tvNodes")->doItemsLayout();
        Child<gui::SectionTreeView>(*frame, "tvNodes")->viewport()->repaint();
    });
    // Diagnostics: WINDOW_BENCH_DETAIL=1 splits the window's time on stderr.
    if (std::getenv("WINDOW_BENCH_DETAIL"))
        std::fprintf(stderr, "create+show %.3f load %.3f layout %.3f\n", t - (nowSeconds() - t1), t2 - t1,
                     nowSeconds() - t2);
    if (frame->document().tree().count() == 0) throw std::runtime_error("window load failed");
    frame->document().setTreeModified(false);
    return t;
}

int windowOpenChild(const std::vector<std::string>& args) {
    App app;
    // The side that runs second finds the file cached and the allocator warm: the
    // repetitions alternate which side goes first.
    const bool windowFirst = args.at(1) == "window-first";
    double core = 0, window = 0;
    if (windowFirst) window = windowOpen(args.at(0));
    core = coreLoad(args.at(0));
    if (!windowFirst) window = windowOpen(args.at(0));
    std::printf("core=%.6f window=%.6f\n", core, window);
    return 0;
}
LARK_BENCH_COMMAND("window-open", windowOpenChild);

void windowOpenCase(Context& ctx) {
    std::vector<double> core, window;
    const int reps = std::max(2, std::min(ctx.reps, 6));
    for (int i = 0; i < reps; ++i) {
        const auto v = runChild("window-open", {ctx.path(kPlainCorpus), i % 2 ? "window-first" : "core-first"});
        core.push_back(v.at("core"));
        window.push_back(v.at("window"));
    }
    note("core load " + formatNumber(median(core), "%.3f") + " s, window open " + formatNumber(median(window), "%.3f") +
         " s (median of " + std::to_string(reps) + ")");
    printFigure("window_open", median(window) / median(core), kOpenTarget);
}
LARK_BENCH_CASE(50, "window_open", windowOpenCase);

// About 1 MB of the corpus's texts, CR LF between them.
std::string megabyteOfText(const std::string& corpus) {
    MemoryTreeView view;
    MemoryEditor editor;
    MemoryUi ui;
    Document doc(view, editor, ui);
    if (!doc.LoadDocument(corpus, true)) throw std::runtime_error("corpus load failed");
    std::string text;
    for (int i = 0; i < doc.tree().count() && text.size() < (1u << 20); ++i) {
        if (!text.empty()) text += "\r\n";
        text += doc.tree().at(i)->text();
    }
    text.resize(std::min<std::size_t>(text.size(), 1u << 20));
    return text;
}

int selectChild(const std::vector<std::string>& args) {
    App app;
    const std::string text = megabyteOfText(args.at(0));
    const int reps = std::atoi(args.at(1).c_str());
    QuietDialogs dialogs;
    // No argument: the default notebook, looked for in a test location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    gui::TFrame frame(dialogs, QStringList{});
    guitest::WaitUntilReady(frame, -1);
    Document& doc = frame.document();
    Section* big = doc.tree().appendChild(nullptr, "big", std::make_unique<TNodeContent>());
    big->content()->Text = TextBuffer::copyOf(text);
    Section* small = doc.tree().appendChild(nullptr, "small", std::make_unique<TNodeContent>());
    // Diagnostics: WINDOW_BENCH_NOLINKS=1 measures without the editor's link underlining.
    if (std::getenv("WINDOW_BENCH_NOLINKS")) Child<gui::NoteEditor>(frame, "reNodeContent")->setLinksEnabled(false);
    // The baseline is an editor like the window's: same size, font and wrap mode.
    QPlainTextEdit plain;
    plain.resize(Child<gui::NoteEditor>(frame, "reNodeContent")->size());
    plain.setFont(Child<gui::NoteEditor>(frame, "reNodeContent")->font());
    plain.setLineWrapMode(Child<gui::NoteEditor>(frame, "reNodeContent")->lineWrapMode());
    plain.show();
    const QString unicode = gui::TextToEditor(text);
    std::vector<double> window, baseline;
    for (int i = 0; i < reps; ++i) {
        doc.SelectSection(small);
        QApplication::processEvents();
        window.push_back(timeIt([&] { doc.SelectSection(big); }));
        plain.clear();
        QApplication::processEvents();
        // The baseline gets its text ready-made: only the editor fill is timed.
        const QString copy = unicode;
        baseline.push_back(timeIt([&] { plain.setPlainText(copy); }));
    }
    if (Child<gui::NoteEditor>(frame, "reNodeContent")->document()->characterCount() !=
        plain.document()->characterCount())
        throw std::runtime_error("the two editors hold different texts");
    std::printf("window=%.6f plain=%.6f\n", median(window), median(baseline));
    return 0;
}
LARK_BENCH_COMMAND("select-1mb", selectChild);

void selectCase(Context& ctx) {
    const auto v = runChild("select-1mb", {ctx.path(kPlainCorpus), std::to_string(std::max(ctx.reps, 5))});
    note("select " + formatNumber(v.at("window") * 1000, "%.1f") + " ms, setPlainText " +
         formatNumber(v.at("plain") * 1000, "%.1f") + " ms");
    printFigure("select_1mb_section", v.at("window") / v.at("plain"), kSelectTarget);
}
LARK_BENCH_CASE(51, "select_1mb_section", selectCase);

}  // namespace
