#pragma once
// The main window TFrame (instance "Frame"): the section tree on the left, the editor on
// the right, menu, tool bar and status bar. The class keeps the window's fields and life
// cycle; the commands live in the tframe_*.cpp files named for what they hold, and the
// logic they call lives in the core (document, editing) and in src/files.
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "desktop/desktop_shell.h"
#include "desktop/hidden_windows.h"
#include "desktop/tray_area.h"
#include "document/document.h"
#include "document/recovery.h"
#include "document/seal_key.h"
#include "editing/section_commands.h"
#include "editing/section_history.h"
#include "files/file_type.h"
#include "main/find_all_host.h"
#include "main/font_steps.h"
#include "main/interface_settings.h"
#include "search/text_search.h"

class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QStatusBar;
class QToolBar;

namespace lark::files {
class DocumentCommands;
}

namespace lark::gui {

class BackgroundSaves;
class ConflictsPanel;
class Dialogs;
class FindAllPanel;
class WindowSystem;
class NoteEditor;
class NotebookSync;
class PacedLaunches;
class RecoveryKeeper;
class SectionModel;
class SectionTreeView;
class SpellingControl;
class WindowUi;

class TFrame : public QMainWindow, public FindAllHost {
    Q_OBJECT
public:
    // `arguments` are the command-line arguments after the program path.
    TFrame(Dialogs& dialogs, QStringList arguments, QWidget* parent = nullptr);
    ~TFrame() override;

    Document& document() override { return *doc_; }
    files::DocumentCommands& documentCommands() { return *commands_; }
    Dialogs& dialogs() { return dialogs_; }
    WindowUi& ui() { return *ui_; }
    SectionModel* sectionModel() const override { return model_; }
    const QStringList& arguments() const { return arguments_; }
    // The search string and where search again goes on, kept across the search commands.
    SearchState& searchState() { return search_; }
    RecoveryKeeper& recoveryKeeper() { return *recovery_; }
    BackgroundSaves& backgroundSaves() { return *saves_; }

    // Runs a command the way every menu item, tool button and short-cut does: never while
    // a load is rebuilding the tree; errors end it with a message box, Cancel silently.
    bool runCommand(const std::function<void()>& command) override;
    void setStatusText(const QString& text) override;
    // False while a load rebuilds the tree, a save runs on its worker, or the window is gone:
    // every entry from the event loop checks it first.
    bool idle() const;

    // larkpad.ini in the user's configuration folder; empty when there is none.
    static QString SettingsFilePath();
    // SIGTERM and its kind: hidden windows come back, then the program ends.
    void TerminateBySignal(int signal);
    TrayArea& trayArea() { return *tray_; }
    WindowSystem& windowSystem() { return *windows_; }
    bool hotKeyGrabbed() const { return hotKeyGrabbed_; }
    // The windows Win+Z hid, in the order they were hidden; an entry's index is its icon's id.
    const HiddenWindows& hiddenWindows() const { return FHiddenWindows; }

    // The start-up is over: the first activation opened the start-up document and the
    // offers made with it were answered. `ready` is sent once, when that happens.
    bool isReady() const { return ready_; }
    // Exit or the end of the session made the next close final (no hiding to the tray).
    bool closeRequested() const { return FCloseRequested; }
    // A real close went through: long scans stop.
    bool terminating() const { return FTerminating; }

signals:
    void ready();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Tests reach the handlers the desktop calls, and the font sizes, through this one accessor
    // (tests/gui/support/frame_access.h); widgets and actions by their object names.
    friend struct TFrameTestAccess;

    // ---- widgets (object names as the form names them) ----
    SectionTreeView* tvNodes = nullptr;
    NoteEditor* reNodeContent = nullptr;
    QSplitter* spSplitter = nullptr;
    QStatusBar* sbStatus = nullptr;
    QToolBar* tbToolBar = nullptr;
    QLabel* pnInfo = nullptr;
    QMenu* pmNodesMenu = nullptr;
    QMenu* pmTextMenu = nullptr;
    QMenu* pmTray = nullptr;

    // ---- menus and actions ----
    QMenu *mnFile = nullptr, *mnEdit = nullptr, *mnInfo = nullptr, *mnView = nullptr, *mnOptions = nullptr,
          *mnHelp = nullptr;
    QAction *miClear = nullptr, *miOpen = nullptr, *miOpenAll = nullptr, *miPrintNode = nullptr, *miSave = nullptr,
            *miSaveAs = nullptr, *miExit = nullptr;
    QAction *miExport = nullptr, *miImport = nullptr;
    QAction *miUndoSection = nullptr, *miRedoSection = nullptr, *pmUndoSection = nullptr, *pmRedoSection = nullptr;
    QAction *miUndo = nullptr, *miCut = nullptr, *miCopy = nullptr, *miPaste = nullptr, *miSelectAll = nullptr,
            *miFind = nullptr, *miEntireSearch = nullptr, *miSearchAgain = nullptr, *miNearestDates = nullptr;
    QAction* miFindAll = nullptr;
    QAction *miNewNode = nullptr, *miNewSub = nullptr, *miRename = nullptr, *miDelete = nullptr, *miMoveUp = nullptr,
            *miMoveDown = nullptr, *miToUpper = nullptr, *miToBottom = nullptr, *miLevelUp = nullptr;
    QAction *miWordWrap = nullptr, *miBiggerFont = nullptr, *miSmallerFont = nullptr;
    QAction *miSaveOnMin = nullptr, *miShowToolBar = nullptr, *miUseTray = nullptr, *miUseZip = nullptr;
    QAction *miAuthor = nullptr, *miMyURL = nullptr, *miBugReport = nullptr;
    QAction *pmNewNode = nullptr, *pmDelNode = nullptr, *pmRenNode = nullptr, *pmMoveNodeUp = nullptr,
            *pmMoveNodeDown = nullptr, *pmMoveNodeTop = nullptr, *pmMoveNodeBottom = nullptr,
            *pmMoveNodeLevUp = nullptr;
    QAction *pmTextUndo = nullptr, *pmTextCut = nullptr, *pmTextCopy = nullptr, *pmTextPaste = nullptr,
            *pmTextSelectAll = nullptr;
    QAction* tmExit = nullptr;
    QAction *tbOpen = nullptr, *tbSave = nullptr, *tbNewNode = nullptr, *tbNewSub = nullptr, *tbRename = nullptr,
            *tbDelete = nullptr, *tbMoveUp = nullptr, *tbMoveDown = nullptr, *tbToUpper = nullptr,
            *tbToBottom = nullptr, *tbLevelUp = nullptr, *tbFind = nullptr, *tbEntireSearch = nullptr,
            *tbSearchAgain = nullptr, *tbWordWrap = nullptr, *tbPrintNode = nullptr;

    // ---- fields ----
    bool FCloseRequested = false;
    HiddenWindows FHiddenWindows;  // the windows hidden by Win+Z; an entry's index is its icon's id
    bool FirstActivation = true;
    bool FHiddenStart = false;                // "-hide" was the last argument (takes effect with the tray)
    bool FTerminating = false;                // a real close went through: long scans stop
    DesktopShell shell;                       // addresses, new instances and mount points (from the desktop)
    PacedLaunches* pacedLaunches_ = nullptr;  // "Открыть все" past its first notebooks

    // ---- life cycle ----
    void FormCreate();
    void FormActivate();
    bool FormCloseQuery();
    void FormClose();
    void FormDestroy();
    void ShowErrorBox(const QString& text);

    // ---- document commands (tframe_document.cpp) ----
    void AskSaveChanges();
    void miClearClick();
    void miOpenClick();
    void miSaveClick();
    void miSaveAsClick();
    void miExitClick();
    void showRegistration(files::Registration registration);
    void miOpenAllClick();
    // ---- export and import (tframe_exchange.cpp) ----
    void miExportClick();
    void miImportClick();

    // ---- merging with other versions of the file (tframe_merge.cpp) ----
    void connectMerge();
    void miMergeFileClick();
    QAction* miMergeFile = nullptr;
    ConflictsPanel* dkConflicts = nullptr;
    std::unique_ptr<NotebookSync> sync_;

    // ---- section commands (tframe_sections.cpp) ----
    void pmNewNodeClick();
    void miNewSubClick();
    void pmRenNodeClick();
    void pmDelNodeClick();
    void pmMoveNodeUpClick();
    void pmMoveNodeDownClick();
    void pmMoveNodeTopClick();
    void pmMoveNodeBottomClick();
    void pmMoveNodeLevUpClick();
    void miUndoSectionClick();
    void miRedoSectionClick();
    void updateHistoryActions();
    void updateCaption();
    void tvNodesDragDrop(DropHit hit, Section* dropSection);
    void tvNodesUserSelect(Section* section);
    void tvNodesRename(Section* section, const QString& name);

    // ---- editor, view and options (tframe_view.cpp) ----
    void SetupEditor();
    void ApplyWordWrap();
    void miUndoClick();
    void miCutClick();
    void miCopyClick();
    void miPasteClick();
    void miSelectAllClick();
    void miWordWrapClick();
    void miBiggerFontClick();
    void miSmallerFontClick();
    void miSaveOnMinClick();
    void miShowToolBarClick();
    void miUseZipClick();
    void miPrintNodeClick();
    void miAuthorClick();
    void miMyURLClick();
    void miBugReportClick();
    // Status-bar hints of controls and menu items; the centring of pnInfo.
    void AppHint(const QString& hint);
    void FormResize();
    // The font sizes the font commands have reached (they go below one point).
    int editorFontPoints() const { return editorFontSize_.points(); }
    int treeFontPoints() const { return treeFontSize_.points(); }

    // ---- search (tframe_search.cpp) ----
    void miFindClick();
    void miEntireSearchClick();
    void miSearchAgainClick();
    void miNearestDatesClick();
    void miFindAllClick();
    FindAllPanel* dkFindAll = nullptr;  // the list of find all, under the editor
    // A left-button press on a link of the editor; `linkText` is read from its current text.
    void EditorLinkClick(const QString& linkText);

    // ---- replace, links into a section, recent notebooks (tframe_replace.cpp and the two below) ----
    class ReplaceDialog* dlgReplace = nullptr;
    QAction* miReplace = nullptr;
    void createReplaceItems();  // after the menus: its items go into them
    void miReplaceClick();
    bool replaceFindNext(const std::string& find, bool matchCase);
    void replaceCurrent(const std::string& find, const std::string& replacement, bool matchCase);
    void replaceAll(const std::string& find, const std::string& replacement, bool matchCase);
    std::shared_ptr<class RecentNotebooks> recent_;  // tframe_recent.cpp
    QMenu* mnRecent = nullptr;
    void createRecentMenu();
    void fillRecentMenu();
    void openRecent(const QString& path);
    void rememberRecent();  // after a notebook was opened or saved
    void saveRecent();
    QAction *miBacklinks = nullptr, *pmBacklinks = nullptr;  // tframe_backlinks.cpp
    FindAllPanel* dkBacklinks = nullptr;
    void createBacklinksItems();
    void miBacklinksClick();

    // ---- settings (tframe_settings.cpp) ----
    void LoadOrSaveSettings(bool save);

    // ---- spell checking (spelling_control.cpp): its two items of "Настройка" ----
    SpellingControl* spelling_ = nullptr;

    // ---- tray (tframe_tray.cpp) ----
    void SetTrayMode(bool on);
    void ToggleMainWindow(bool forceShow);
    void QuitProgram();
    void EndSessionQuery();
    void AppMinimize();
    void miUseTrayClick();
    void WMHotKey();
    void WMTrayNotify(int id, TrayClick click);
    void RestoreHiddenWindow(int index);
    QIcon GetWindowIcon(WindowHandle window);
    QString GetWindowTitle(WindowHandle window);
    // The window is hidden to the tray only while the option is on and a tray is there.
    bool trayModeOn() const;
    // Shows again every window Win+Z hid, in the order they were hidden.
    void RestoreHiddenWindows();
    void ForgetHiddenWindow(WindowHandle window);

    // ---- building the window ----
    void createWidgets();
    void createActions();  // tframe_actions.cpp
    void createMenus();
    void createToolBar();
    void createPopupMenus();
    void connectViews();
    void connectSearch();  // tframe_search.cpp: link events, selections shown without focus
    QAction* makeAction(const char* name, const char* caption, const char* iconName, const QKeySequence& shortcut,
                        const char* hint, void (TFrame::*handler)());
    void showPopup(const QPoint& globalPos);
    void installAppHint();  // tframe_view.cpp
    void stepFonts(int delta);
    int treeWidth() const;                      // tframe_settings.cpp
    InterfaceSettings currentSettings() const;  // what the window shows now, as the settings file keeps it
    void setTreeWidth(int width);
    void startUpDocument();
    // After a crash: offers the recovery copy of the notebook just opened (or of an
    // unnamed one), once; true when one was answered (tframe_recovery.cpp).
    bool offerRecovery();
    // Offers the copies whose notebook has gone, to restore as an unnamed notebook.
    void offerOrphanedCopies();
    // Puts a recovery copy on the window (`shownAs` its notebook's name) or reports it
    // damaged and sets it aside.
    void restoreCopy(RecoveryClaim claim, const std::string& copy, const std::string& shownAs,
                     const std::string& keptFor);
    // The program is ended without a close (a signal, the end of the session): a copy of
    // unsaved changes and the settings are written now.
    void keepUnsavedWork();
    bool signalled_ = false;  // a termination signal is being handled
    void createDesktop();     // tframe_tray.cpp
    void RegisterHotKey();
    void trayHostChanged();
    // A line about the desktop in the status bar; it stays after the start-up document.
    void desktopNotice(const QString& text);
    void noteTrayMissing();
    // ---- password protection (tframe_seal.cpp) ----
    QAction *miProtect = nullptr, *miChangePassword = nullptr, *miUnprotect = nullptr;
    void miProtectClick();
    void miChangePasswordClick();
    void miUnprotectClick();
    // The key of the sealed file at `path`, asked for until it opens the file: false on
    // Cancel. A file that is not sealed (or cannot be read: the load says why) needs none.
    bool askFileKey(const std::string& path, std::shared_ptr<const SealKey>& key);
    // Asks for the password under `params` until `opens` takes its key; null on Cancel.
    std::shared_ptr<const SealKey> askKeyFor(const SealParams& params, const QString& prompt,
                                             const std::function<bool(const std::shared_ptr<const SealKey>&)>& opens);
    // A new password, typed twice; null on Cancel.
    std::shared_ptr<const SealKey> askNewKey();
    void sealChanged(const QString& status);
    // The protection in the caption and the items that fit it; true when the export may go on.
    QString sealCaption(const QString& title);
    bool confirmPlainExport();
    // Long loads keep the window painted and show progress after a moment.
    bool loadWithProgress(const std::string& path, bool readOnly);

    Dialogs& dialogs_;
    QStringList arguments_;
    SearchState search_;
    std::unique_ptr<WindowUi> ui_;
    std::unique_ptr<Document> doc_;
    SectionHistory history_;
    SectionModel* model_ = nullptr;
    std::unique_ptr<files::DocumentCommands> commands_;
    RecoveryKeeper* recovery_ = nullptr;
    std::unique_ptr<BackgroundSaves> saves_;  // after doc_ and ui_: it reports to them
    void saveEnded(bool saved);
    bool destroyed_ = false;
    bool activationQueued_ = false;
    bool ready_ = false;
    SteppedFontSize editorFontSize_, treeFontSize_;
    std::unique_ptr<TrayArea> tray_;
    std::unique_ptr<WindowSystem> windows_;
    bool hotKeyGrabbed_ = false;
    bool hotKeyMissing_ = false;  // no X11: no Win+Z at all
    bool trayNoticeShown_ = false;
    QString startNotice_;  // shown again once the start-up document is open
};

}  // namespace lark::gui
