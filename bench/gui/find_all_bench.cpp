// Find all in the window against the core search it runs.
//
// find_all_first_rows: from triggering "Найти все..." (the input box answers at once and
// is not timed) until the first 100 rows are in the panel's list and painted, on the
// corpus notebook; the ratio is to the 100 ms budget.
//
// find_all_full: from the trigger until the whole list is in the panel (every match of a
// string found about 80,000 times across the corpus, so the whole notebook is searched),
// against the core alone on the same notebook: a snapshot and FindAll collecting the
// rows into a vector. Both in one fresh process, taking turns at going first.
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QStandardPaths>
#include <QTreeView>
#include <cstdio>

#include "bench_util.h"
#include "document/cp1251.h"
#include "document/snapshot.h"
#include "gui/quiet_dialogs.h"
#include "main/find_all_panel.h"
#include "main/tframe.h"
#include "search/find_all.h"
#include "support/frame_access.h"

namespace {

using namespace lark;
using namespace lark::bench;

constexpr double kFirstRowsBudget = 0.100;  // seconds
constexpr double kFullTarget = 3.0;
constexpr int kFirstRows = 100;
// Two letters the generator's words put together about 80,000 times in the corpus.
constexpr const char* kNeedle = "жщ";

class AnsweringDialogs : public QuietDialogs {
public:
    bool inputBox(QWidget*, const QString&, const QString&, QString& value) override {
        value = QString::fromUtf8(kNeedle);
        return true;
    }
};

int findAllChild(const std::vector<std::string>& args) {
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
    QAction* command = guitest::Action(frame, "miFindAll");
    auto& panel = *guitest::Child<gui::FindAllPanel>(frame, "dkFindAll");
    auto& list = *guitest::Child<QTreeView>(frame, "lvFindAll");
    const std::string needle = *cp1251::fromUtf8(kNeedle);

    // The longest the window's thread was kept busy by one turn of its event loop while
    // the rows came in (waits for events not counted): how responsive the window stays.
    double longestTurn = 0;
    auto waitUntil = [&](const std::function<bool()>& done) {
        while (!done()) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const double t0 = nowSeconds();
            QApplication::processEvents();
            longestTurn = std::max(longestTurn, nowSeconds() - t0);
        }
    };
    std::vector<double> first, full, core;
    std::size_t coreRows = 0;
    auto coreSide = [&] {
        std::vector<FindAllRow> rows;
        core.push_back(timeIt([&] {
            const auto snapshot = TakeSnapshot(frame.document());
            FindAll(*snapshot, needle, [&](FindAllRow&& row) {
                rows.push_back(std::move(row));
                return true;
            });
        }));
        coreRows = rows.size();
    };
    auto fullSide = [&] {
        QApplication::processEvents();
        full.push_back(timeIt([&] {
            command->trigger();
            waitUntil([&] { return !panel.running(); });
            QApplication::processEvents();
        }));
        if (static_cast<std::size_t>(panel.model().rowCount()) != coreRows)
            throw std::runtime_error("the window listed another number of rows than the core found");
    };
    auto firstSide = [&] {
        QApplication::processEvents();
        first.push_back(timeIt([&] {
            command->trigger();
            waitUntil([&] { return panel.model().rowCount() >= kFirstRows || !panel.running(); });
            list.viewport()->repaint();
        }));
        if (panel.model().rowCount() < kFirstRows) throw std::runtime_error("fewer rows than the figure needs");
        waitUntil([&] { return !panel.running(); });
    };
    for (int i = 0; i < reps; ++i) {
        if (i % 2) {
            fullSide();
            coreSide();
        } else {
            coreSide();
            fullSide();
        }
        firstSide();
    }
    frame.document().setTreeModified(false);
    std::printf("first=%.6f full=%.6f core=%.6f rows=%zu turn=%.6f\n", median(first), median(full), median(core),
                coreRows, longestTurn);
    return 0;
}
LARK_BENCH_COMMAND("find-all", findAllChild);

void findAllCase(Context& ctx) {
    const auto v = runChild("find-all", {ctx.path(kPlainCorpus), std::to_string(std::max(ctx.reps, 3))});
    note("find all: first " + std::to_string(kFirstRows) + " rows " + formatNumber(v.at("first") * 1e3, "%.1f") +
         " ms; the full list of " + formatNumber(v.at("rows"), "%.0f") + " rows " +
         formatNumber(v.at("full") * 1e3, "%.1f") + " ms, core " + formatNumber(v.at("core") * 1e3, "%.1f") +
         " ms (medians); longest turn of the event loop meanwhile " + formatNumber(v.at("turn") * 1e3, "%.1f") + " ms");
    printFigure("find_all_first_rows", v.at("first") / kFirstRowsBudget, 1.0);
    printFigure("find_all_full", v.at("full") / v.at("core"), kFullTarget);
}
LARK_BENCH_CASE(53, "find_all", findAllCase);

}  // namespace
