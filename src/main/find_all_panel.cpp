#include "main/find_all_panel.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "document/document.h"
#include "document/snapshot.h"
#include "editor/editor.h"
#include "main/find_all_host.h"
#include "main/section_model.h"

namespace lark::gui {

// One search: its snapshot and worker, and the rows the worker has found and the window
// has not yet taken.
struct FindAllPanel::Job {
    std::unique_ptr<NotebookSnapshot> snapshot;
    std::vector<Section*> sections;  // the snapshot's sections as the tree held them
    std::string searchText;
    std::atomic<bool> stop{false};
    std::thread worker;

    std::mutex lock;  // guards what follows
    std::vector<FindAllRow> pending;
    bool posted = false;  // a drain is on its way to the window
    bool done = false;
    FindAllOutcome outcome;
};

FindAllPanel::FindAllPanel(QMainWindow& window, FindAllHost& host, NoteEditor& editor)
    : QDockWidget(QString::fromUtf8(kFindAllCaption), &window), window_(window), host_(host), editor_(editor) {
    setObjectName(QStringLiteral("dkFindAll"));
    setFeatures(QDockWidget::DockWidgetClosable);
    setAllowedAreas(Qt::BottomDockWidgetArea);

    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    status_ = new QLabel(body);
    status_->setObjectName(QStringLiteral("lbFindAll"));
    model_ = new FindAllModel(this);
    list_ = new QTreeView(body);
    list_->setObjectName(QStringLiteral("lvFindAll"));
    list_->setModel(model_);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setItemDelegateForColumn(FindAllModel::TextColumn, new SnippetDelegate(list_));
    list_->header()->setStretchLastSection(true);
    list_->header()->resizeSection(FindAllModel::PathColumn, 220);
    list_->header()->resizeSection(FindAllModel::LineColumn, 60);
    layout->addWidget(status_);
    layout->addWidget(list_);
    setWidget(body);

    connect(list_, &QAbstractItemView::activated, this, [this](const QModelIndex& index) { activate(index.row()); });
    SectionModel* sections = host_.sectionModel();
    // New and Open rebuild the tree: the rows would point into the old notebook.
    connect(sections, &QAbstractItemModel::modelReset, this, &FindAllPanel::clear);
    connect(sections, &QAbstractItemModel::rowsAboutToBeRemoved, this, &FindAllPanel::sectionsRemoved);
}

FindAllPanel::~FindAllPanel() { stop(); }

QString FindAllPanel::GoneNotice() { return QStringLiteral("Раздел, в котором найдено совпадение, удалён"); }

void FindAllPanel::start(const std::string& searchText) {
    clear();
    searchText_ = BytesToQString(searchText);
    if (isHidden()) {
        show();
        // A third of the window, the rest for the tree and the editor.
        window_.resizeDocks({this}, {window_.height() / 3}, Qt::Vertical);
    }
    raise();

    auto job = std::make_shared<Job>();
    Document& doc = host_.document();
    job->snapshot = TakeSnapshot(doc);
    job->sections.reserve(job->snapshot->sections.size());
    doc.tree().forEachInOrder([&](Section& s, int) {
        job->sections.push_back(&s);
        return true;
    });
    // A text typed with no section selected is in no section: it is not searched.
    auto& snapped = job->snapshot->sections;
    if (snapped.size() > job->sections.size())
        snapped.erase(snapped.begin() + static_cast<std::ptrdiff_t>(job->sections.size()), snapped.end());
    job->searchText = searchText;
    job_ = job;

    job->worker = std::thread([this, job, run = search] {
        // Rows are queued; the window is told once per batch it has not yet taken.
        auto post = [this, &job] {
            if (job->posted) return;
            job->posted = true;
            QMetaObject::invokeMethod(
                this, [this, job] { drain(job); }, Qt::QueuedConnection);
        };
        const FindAllOutcome outcome = run(
            *job->snapshot, job->searchText,
            [&](FindAllRow&& row) {
                const std::lock_guard<std::mutex> hold(job->lock);
                job->pending.push_back(std::move(row));
                post();
                return true;
            },
            &job->stop);
        const std::lock_guard<std::mutex> hold(job->lock);
        job->outcome = outcome;
        job->done = true;
        post();
    });
    showSummary();
}

void FindAllPanel::drain(const std::shared_ptr<Job>& job) {
    if (job != job_) return;  // a search given up since
    std::vector<FindAllRow> rows;
    bool done = false;
    {
        const std::lock_guard<std::mutex> hold(job->lock);
        if (job->pending.size() > kMaxBatch) {
            // A turn of the event loop takes no more than a batch: the rest comes next turn.
            const auto end = job->pending.begin() + static_cast<std::ptrdiff_t>(kMaxBatch);
            rows.assign(std::make_move_iterator(job->pending.begin()), std::make_move_iterator(end));
            job->pending.erase(job->pending.begin(), end);
            QMetaObject::invokeMethod(
                this, [this, job] { drain(job); }, Qt::QueuedConnection);
        } else {
            rows.swap(job->pending);
            job->posted = false;
            done = job->done;
        }
    }
    std::vector<FindAllModel::Entry> entries;
    entries.reserve(rows.size());
    for (FindAllRow& row : rows) {
        Section* section = job->sections[static_cast<std::size_t>(row.section)];
        entries.push_back({std::move(row), section});
    }
    model_->append(std::move(entries));
    if (done) {
        job->worker.join();
        cut_ = job->outcome.cut;
        job_.reset();
        finished_ = true;
    }
    showSummary();
    if (done) emit searchFinished();
}

void FindAllPanel::stop() {
    if (!job_) return;
    job_->stop = true;
    job_->worker.join();
    job_.reset();
}

void FindAllPanel::clear() {
    stop();
    model_->clear();
    cut_ = false;
    finished_ = false;
    searchText_.clear();
    showSummary();
}

void FindAllPanel::closeEvent(QCloseEvent* event) {
    // A closed panel's search is given up; what it found stays for when the panel returns.
    stop();
    showSummary();
    QDockWidget::closeEvent(event);
}

void FindAllPanel::sectionsRemoved(const QModelIndex& parent, int first, int last) {
    if (!job_ && model_->rowCount() == 0) return;
    const SectionModel* sections = host_.sectionModel();
    for (int row = first; row <= last; ++row)
        if (const Section* s = SectionModel::sectionAt(sections->index(row, 0, parent))) model_->forget(s);
}

void FindAllPanel::activate(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    host_.runCommand([this, row] {
        const FindAllModel::Entry& entry = model_->entry(row);
        Section* section = model_->sectionOf(row);
        if (!section) {
            host_.setStatusText(GoneNotice());
            return;
        }
        Document& doc = host_.document();
        doc.SelectSection(section);
        if (entry.row.inName) {
            doc.view().focusTree();
            return;
        }
        // The editor counts a line break as two positions, whatever the stored text has.
        const auto line = editor_.lineInBytes(entry.row.line - 1);
        if (!line) return;  // the text has changed since
        const auto [start, inLine] = *line;
        const std::size_t column = std::min(entry.row.column, inLine);
        const std::size_t length = std::min(entry.row.length, inLine - column);
        doc.editor().select(start + column, length);
        doc.editor().focusEditor();
    });
}

QString FindAllPanel::summary() const {
    if (searchText_.isEmpty() && !job_ && !finished_) return {};
    const QString what = QStringLiteral("«%1»").arg(searchText_);
    const int rows = model_->rowCount();
    if (job_) return QStringLiteral("Поиск %1... найдено: %2").arg(what).arg(rows);
    if (!finished_) return QStringLiteral("Поиск %1 прерван, найдено: %2").arg(what).arg(rows);
    if (cut_)
        return QStringLiteral("%1: показаны первые %2 совпадений, остальные не вошли в список").arg(what).arg(rows);
    if (rows == 0) return emptySummary.isEmpty() ? QStringLiteral("%1 не найдено").arg(what) : emptySummary;
    return QStringLiteral("%1: найдено совпадений: %2").arg(what).arg(rows);
}

void FindAllPanel::showSummary() { status_->setText(summary()); }

}  // namespace lark::gui
