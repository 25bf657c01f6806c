#include "main/tframe.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <utility>
#include <vector>

#include "desktop/window_system.h"
#include "document/errors.h"
#include "editor/editor.h"
#include "files/document_commands.h"
#include "files/file_type.h"
#include "files/paths.h"
#include "main/app_texts.h"
#include "main/background_saves.h"
#include "main/command_runner.h"
#include "main/dialogs.h"
#include "main/icons.h"
#include "main/notebook_sync.h"
#include "main/recovery_keeper.h"
#include "main/section_model.h"
#include "main/section_tree_view.h"
#include "main/spelling_control.h"
#include "main/window_ui.h"

namespace lark::gui {

TFrame::TFrame(Dialogs& dialogs, QStringList arguments, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), arguments_(std::move(arguments)) {
    setObjectName(QStringLiteral("Frame"));
    createWidgets();
    ui_ = std::make_unique<WindowUi>(this, dialogs_, sbStatus);
    doc_ = std::make_unique<Document>(*tvNodes, *reNodeContent, *ui_);
    model_ = new SectionModel(doc_->tree(), this);
    tvNodes->setSectionModel(model_);
    commands_ = std::make_unique<files::DocumentCommands>(*doc_, dialogs_, this);
    recovery_ = new RecoveryKeeper(
        *doc_, [this] { return idle(); }, this);
    recovery_->setDirectory(RecoveryDirectory(QApplication::applicationName().toStdString()));
    saves_ = std::make_unique<BackgroundSaves>(*doc_, *ui_);
    recovery_->savePending = [this] { return saves_->running(); };
    createActions();
    createMenus();
    spelling_ = new SpellingControl(*reNodeContent, *mnOptions, this);
    spelling_->onNotice = [this](const QString& text) { sbStatus->showMessage(text); };
    createToolBar();
    createPopupMenus();
    createReplaceItems();
    connectViews();
    createDesktop();
    SetUnhandledErrorSink([this](const QString& text) { dialogs_.errorBox(this, text); });
    FormCreate();
}

TFrame::~TFrame() {
    FormDestroy();
    SetUnhandledErrorSink(nullptr);
    // The model observes the document's tree: it goes first.
    tvNodes->setModel(nullptr);
    delete model_;
    model_ = nullptr;
}

void TFrame::createWidgets() {
    setWindowTitle(QString::fromUtf8(kMainCaption));
    setWindowIcon(ProgramIcon());
    setMinimumSize(kMinWidth, kMinHeight);
    resize(800, 560);

    spSplitter = new QSplitter(Qt::Horizontal, this);
    spSplitter->setObjectName(QStringLiteral("spSplitter"));
    spSplitter->setChildrenCollapsible(false);
    tvNodes = new SectionTreeView(spSplitter);
    reNodeContent = new NoteEditor(spSplitter);
    spSplitter->addWidget(tvNodes);
    spSplitter->addWidget(reNodeContent);
    spSplitter->setStretchFactor(0, 0);
    spSplitter->setStretchFactor(1, 1);
    spSplitter->setSizes({kDesignTreeWidth, 800 - kDesignTreeWidth});
    setCentralWidget(spSplitter);

    sbStatus = new QStatusBar(this);
    sbStatus->setObjectName(QStringLiteral("sbStatus"));
    sbStatus->setSizeGripEnabled(true);
    setStatusBar(sbStatus);

    // The information panel of long scans: hidden until such an operation shows it.
    pnInfo = new QLabel(this);
    pnInfo->setObjectName(QStringLiteral("pnInfo"));
    pnInfo->setFixedSize(345, 41);
    pnInfo->setAlignment(Qt::AlignCenter);
    pnInfo->setFrameShape(QFrame::Panel);
    pnInfo->setFrameShadow(QFrame::Raised);
    pnInfo->setAutoFillBackground(true);
    QFont bold = pnInfo->font();
    bold.setBold(true);
    pnInfo->setFont(bold);
    pnInfo->hide();
}

void TFrame::connectViews() {
    tvNodes->onUserSelect = [this](Section* s) { tvNodesUserSelect(s); };
    tvNodes->onDrop = [this](DropHit hit, Section* s) { runCommand([&] { tvNodesDragDrop(hit, s); }); };
    tvNodes->onPopup = [this](const QPoint& p) { showPopup(p); };
    model_->onRename = [this](Section* s, const QString& name) { tvNodesRename(s, name); };
    // The notice about replaced characters stays until the next edit.
    reNodeContent->onReplaced = [this](qsizetype n) { ui_->setNotice(ReplacedNotice(n)); };
    connect(reNodeContent, &QPlainTextEdit::textChanged, this, [this] { ui_->clearNotice(); });
    connect(reNodeContent, &QPlainTextEdit::modificationChanged, this, [this] { updateCaption(); });
    connectSearch();
    // Any change of the text or the tree restarts the pause before a recovery copy.
    connect(reNodeContent, &QPlainTextEdit::textChanged, recovery_, &RecoveryKeeper::noteChange);
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model_, signal, recovery_, &RecoveryKeeper::noteChange);
    connect(model_, &QAbstractItemModel::rowsMoved, recovery_, &RecoveryKeeper::noteChange);
    connect(model_, &QAbstractItemModel::dataChanged, recovery_, &RecoveryKeeper::noteChange);
    connect(model_, &QAbstractItemModel::modelReset, recovery_, &RecoveryKeeper::noteChange);

    commands_->showWindow = [this] { ToggleMainWindow(true); };
    commands_->showsPlainFile = [this] { return reNodeContent->showsFile(); };
    commands_->load = [this](const std::string& path, bool readOnly) { return loadWithProgress(path, readOnly); };
    commands_->commitEdits = [this] { tvNodes->commitOpenEditor(); };
    commands_->startSave = [this](std::unique_ptr<SaveJob> job, std::function<void(bool)> done) {
        saves_->start(std::move(job), std::move(done));
    };
    commands_->waitForSave = [this] { saves_->wait(); };
    saves_->ended = [this](bool saved) { saveEnded(saved); };
    connectMerge();
}

bool TFrame::idle() const { return !destroyed_ && !doc_->loading() && !ui_->busy(); }

bool TFrame::runCommand(const std::function<void()>& command) {
    // Nothing may run against a half-built tree, nor while a save reads the tree on its
    // worker thread.
    if (!idle()) return false;
    // A section name still being typed counts as entered before any command sees the tree.
    tvNodes->commitOpenEditor();
    const bool ok = RunCommand(command);
    updateHistoryActions();
    updateCaption();
    recovery_->settle();
    return ok;
}

void TFrame::setStatusText(const QString& text) { ui_->setStatusText(text); }

void TFrame::ShowErrorBox(const QString& text) { dialogs_.errorBox(this, text); }

// ---- start-up ----

void TFrame::FormCreate() {
    // Showing the window, the tray mode and the hot key below come even when a step here
    // failed; that failure is reported afterwards like any unhandled error.
    QString failure;
    try {
        FCloseRequested = false;
        FHiddenWindows = HiddenWindows();
        installAppHint();
        SetupEditor();
        doc_->FFileInfo.clear();
        reNodeContent->setModified(false);
        doc_->setTreeModified(false);
        doc_->FUpdating = false;
        search_ = SearchState();
        miUseTray->setText(miUseTray->text() + QStringLiteral("\tWin+Z"));
        FHiddenStart = !arguments_.isEmpty() && arguments_.constLast() == QLatin1String("-hide");
        LoadOrSaveSettings(false);
    } catch (const SilentAbort&) {
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
    }
    // The hidden start-up only takes effect while the tray option is on and a tray is
    // there to bring the window back from.
    if (!FHiddenStart || !trayModeOn()) show();
    if (miUseTray->isChecked()) RunCommand([this] { SetTrayMode(true); });
    RegisterHotKey();
    if (!failure.isEmpty()) ShowUnhandledError(failure);
}

void TFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The first activation opens the start-up document once the window is on screen.
    if (FirstActivation && !activationQueued_) {
        activationQueued_ = true;
        QTimer::singleShot(0, this, [this] { FormActivate(); });
    }
}

void TFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    // The minimise comes after the window is minimised, out of the state change itself.
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) runCommand([this] { AppMinimize(); });
        });
}

void TFrame::FormActivate() {
    if (!idle()) return;
    RunCommand([this] { SetupEditor(); });
    if (!FirstActivation) RunCommand([this] { sync_->offerNewVersion(); });
    if (!FirstActivation) return;
    FirstActivation = false;
    RunCommand([this] { startUpDocument(); });
    updateCaption();
    ready_ = true;
    emit ready();
}

void TFrame::startUpDocument() {
    // What the desktop could not do stays in the status bar over the document's line.
    struct Notice {
        TFrame* f;
        ~Notice() {
            if (!f->startNotice_.isEmpty()) f->ui_->setStatusText(f->startNotice_);
            f->startNotice_.clear();
        }
    } notice{this};
    if (!arguments_.isEmpty()) {
        loadWithProgress(arguments_.constFirst().toStdString(), false);
        offerRecovery();
        return;
    }
    const QString path = files::DefaultDocumentPath();
    if (!path.isEmpty()) {
        if (QFileInfo::exists(path)) loadWithProgress(path.toStdString(), false);
        else {
            doc_->FFileName = path.toStdString();
            doc_->RememberNoFile();
        }
    }
    if (!offerRecovery()) offerOrphanedCopies();
    showRegistration(files::RegisterFileType());
}

bool TFrame::loadWithProgress(const std::string& path, bool readOnly) {
    // A sealed notebook opens only with its password; Cancel opens nothing.
    std::shared_ptr<const SealKey> key;
    if (!askFileKey(path, key)) return false;
    ui_->beginBusy(QStringLiteral("Открывается ") + QString::fromStdString(path) + QStringLiteral("..."));
    const bool ok = doc_->LoadDocument(path, readOnly, key);
    ui_->endBusy();
    if (ok) {
        rememberRecent();
        sync_->loaded();
    }
    return ok;
}

// ---- close ----

void TFrame::closeEvent(QCloseEvent* event) {
    if (!idle()) {
        event->ignore();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    // A normal exit keeps no recovery copy: what was not saved was given up.
    recovery_->discardAll();
    FTerminating = true;
    event->accept();
}

bool TFrame::FormCloseQuery() {
    bool canClose = FCloseRequested || !trayModeOn();
    if (canClose) {
        // Cancel in the question, or any error in it, keeps the window open silently.
        try {
            AskSaveChanges();
        } catch (...) {
            canClose = false;
        }
    } else {
        RunCommand([this] { ToggleMainWindow(false); });
    }
    return canClose;
}

void TFrame::FormClose() {
    try {
        LoadOrSaveSettings(true);
    } catch (...) {
        // Settings that cannot be written do not keep the program from closing.
    }
}

void TFrame::FormDestroy() {
    if (destroyed_) return;
    destroyed_ = true;
    // A save still being written ends first: its file is the one the notebook keeps.
    saves_->wait();
    recovery_->finishWriting();
    try {
        doc_->ClearDocument();
    } catch (...) {}
    doc_->FFileInfo.clear();
    try {
        CloseDocumentFile(doc_->FFileHandle);
    } catch (...) {}
    RestoreHiddenWindows();
    if (hotKeyGrabbed_) windows_->ungrabHotKey();
    hotKeyGrabbed_ = false;
    try {
        SetTrayMode(false);
    } catch (...) {}
    FHiddenWindows = HiddenWindows();
    tvNodes->onUserSelect = nullptr;
}

}  // namespace lark::gui
