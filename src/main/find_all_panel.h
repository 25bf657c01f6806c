#pragma once
// "Найти все": the panel under the editor that lists every match of a string in the
// notebook. The search runs on a worker thread over a snapshot of the notebook (names
// copied, texts shared), so the window goes on while rows arrive; they are added to the
// list in batches on the window's thread. Activating a row selects its section and the
// match. New and Open empty the list; a section deleted since the search is not visited.
#include <QDockWidget>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "main/find_all_list.h"

class QLabel;
class QMainWindow;
class QModelIndex;
class QTreeView;

namespace lark::gui {

class FindAllHost;
class NoteEditor;

class FindAllPanel : public QDockWidget {
    Q_OBJECT
public:
    // Rows added to the list in one turn of the event loop, at most.
    static constexpr std::size_t kMaxBatch = 5000;

    // Docks in `window`; `host` gives the notebook and runs the commands of activated rows.
    FindAllPanel(QMainWindow& window, FindAllHost& host, NoteEditor& editor);
    ~FindAllPanel() override;

    // Shows the panel and lists the matches of `searchText` (Windows-1251), a running
    // search given up first.
    void start(const std::string& searchText);
    // Gives up a running search and empties the list.
    void clear();
    // Selects the section of the row and its match.
    void activate(int row);

    bool running() const { return static_cast<bool>(job_); }
    FindAllModel& model() { return *model_; }
    QString summary() const;

    static QString GoneNotice();

    // The search the worker runs; tests hold it between rows to see the list fill.
    std::function<FindAllOutcome(const NotebookSnapshot&, std::string_view, const FindAllSink&,
                                 const std::atomic<bool>*)>
        search = [](const NotebookSnapshot& notebook, std::string_view text, const FindAllSink& sink,
                    const std::atomic<bool>* stop) { return FindAll(notebook, text, sink, stop); };

    // The line for a finished search that found nothing, in place of the usual one.
    QString emptySummary;

signals:
    // The search has ended (run to its end or to the limit); not sent when given up.
    void searchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Job;
    void drain(const std::shared_ptr<Job>& job);
    void stop();
    void sectionsRemoved(const QModelIndex& parent, int first, int last);
    void showSummary();

    QMainWindow& window_;
    FindAllHost& host_;
    NoteEditor& editor_;
    FindAllModel* model_;
    QTreeView* list_;
    QLabel* status_;
    std::shared_ptr<Job> job_;
    QString searchText_;
    bool cut_ = false;
    bool finished_ = false;  // the last search ran to its end
};

}  // namespace lark::gui
