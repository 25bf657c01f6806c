// The window's global search against the core's.
//
// window_search_miss: the window's global search ("Поиск по всем разделам", the action a
// user triggers) for a string found nowhere in the corpus notebook, from the trigger until
// the command returns and the events it left are handled (the input box answers at once
// and is not timed), against one core GlobalSearch step of the same string over the
// same notebook loaded into in-memory views. Both sides in one fresh process, taking
// turns at going first.
#include <QAction>
#include <QApplication>
#include <QStandardPaths>
#include <cstdio>

#include "bench_util.h"
#include "document/cp1251.h"
#include "document/document.h"
#include "document/file_access.h"
#include "document/load_bytes.h"
#include "document/memory_view.h"
#include "editor/text_codec.h"
#include "main/dialogs.h"
#include "main/tframe.h"
#include "search/text_search.h"
#include "support/frame_access.h"

namespace {

using namespace lark;
using namespace lark::bench;

constexpr double kTarget = 1.5;
// A Cyrillic word the generator's random letters do not spell (as global_search_miss).
constexpr const char* kMissing = "НесуществующаяСтрока";

// Answers the input box with the search string; never waits for a click.
class AnsweringDialogs : public gui::Dialogs {
public:
    void errorBox(QWidget*, const QString& text) override {
        std::fprintf(stderr, "error: %s\n", text.toLocal8Bit().constData());
    }
    void message(QWidget*, const QString& text) override {
        std::fprintf(stderr, "message: %s\n", text.toLocal8Bit().constData());
    }
    bool confirm(QWidget*, const QString&) override { return false; }
    Answer askSaveChanges(QWidget*) override { return Answer::No; }
    bool inputBox(QWidget*, const QString&, const QString&, QString& value) override {
        ++asked;
        value = QString::fromUtf8(kMissing);
        return true;
    }
    int asked = 0;
};

int windowSearchChild(const std::vector<std::string>& args) {
    int argc = 1;
    char name[] = "larkpad_gui_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const std::string& path = args.at(0);
    const int reps = std::atoi(args.at(1).c_str());

    AnsweringDialogs dialogs;
    gui::TFrame frame(dialogs, QStringList{QString::fromStdString(path)});
    guitest::WaitUntilReady(frame, -1);
    if (frame.document().tree().count() == 0) throw std::runtime_error("window load failed");
    auto* search = frame.findChild<QAction*>(QStringLiteral("miEntireSearch"));
    if (!search) throw std::runtime_error("no global search action");

    MemoryTreeView view;
    MemoryEditor editor;
    MemoryUi ui;
    Document core(view, editor, ui);
    // The window holds the file: the core reads it without a lock.
    LoadFromBytes(core, ReadFileUnlocked(path), true, path);
    if (core.tree().count() != frame.document().tree().count()) throw std::runtime_error("core load failed");
    const std::string needle = *cp1251::fromUtf8(kMissing);

    std::vector<double> window, base;
    SearchHit hit = SearchHit::None;
    auto coreSide = [&] {
        base.push_back(timeIt([&] {
            SearchState state;
            state.FGlobalSearch = true;
            hit = GlobalSearch(core, state, needle);
        }));
    };
    auto windowSide = [&] {
        QApplication::processEvents();
        window.push_back(timeIt([&] {
            search->trigger();
            QApplication::processEvents();
        }));
    };
    for (int i = 0; i < reps; ++i) {
        if (i % 2) {
            windowSide();
            coreSide();
        } else {
            coreSide();
            windowSide();
        }
    }
    if (hit != SearchHit::None) throw std::runtime_error("the search string was found");
    if (dialogs.asked != reps) throw std::runtime_error("the window did not ask for the search string");
    if (frame.searchState().FSearchText != needle) throw std::runtime_error("the window searched for another string");
    frame.document().setTreeModified(false);
    std::printf("window=%.6f core=%.6f\n", median(window), median(base));
    return 0;
}
LARK_BENCH_COMMAND("window-search-miss", windowSearchChild);

void windowSearchCase(Context& ctx) {
    const auto v = runChild("window-search-miss", {ctx.path(kPlainCorpus), std::to_string(std::max(ctx.reps, 5))});
    note("window global search " + formatNumber(v.at("window") * 1e3, "%.1f") + " ms, core " +
         formatNumber(v.at("core") * 1e3, "%.1f") + " ms (medians)");
    printFigure("window_search_miss", v.at("window") / v.at("core"), kTarget);
}
LARK_BENCH_CASE(52, "window_search_miss", windowSearchCase);

}  // namespace
