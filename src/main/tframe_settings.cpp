// The settings file larkpad.ini in the user's configuration folder: the window geometry,
// the tree width and the options' check marks, read once at start and written at close.
#include <QAction>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QStandardPaths>
#include <QToolBar>
#include <algorithm>

#include "editor/editor.h"
#include "main/interface_settings.h"
#include "main/section_tree_view.h"
#include "main/spelling_control.h"
#include "main/tframe.h"

namespace lark::gui {

QString TFrame::SettingsFilePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (folder.isEmpty()) return {};
    return QDir(folder).filePath(QString::fromLatin1(kSettingsFileName));
}

namespace {

// The sizes the splitter means to give its panes. A window that has never been shown has
// not laid them out yet, and QSplitter::sizes() then reports squeezed placeholders; its
// saved state holds the sizes it will apply.
QList<int> intendedSizes(const QSplitter& splitter, bool laidOut) {
    if (laidOut) return splitter.sizes();
    const QByteArray state = splitter.saveState();
    QDataStream in(state);
    qint32 marker = 0, version = 0;
    QList<int> sizes;
    in >> marker >> version >> sizes;
    return in.status() == QDataStream::Ok ? sizes : splitter.sizes();
}

}  // namespace

int TFrame::treeWidth() const {
    const QList<int> sizes = intendedSizes(*spSplitter, isVisible());
    return sizes.isEmpty() ? tvNodes->width() : sizes.constFirst();
}

void TFrame::setTreeWidth(int width) {
    // The stored width is applied as it is, also below the tree's usual minimum; the
    // tree never vanishes completely, so at least one pixel stays.
    const int tree = std::max(1, width);
    if (tree < tvNodes->minimumSizeHint().width()) tvNodes->setMinimumWidth(tree);
    int total = 0;
    for (int size : intendedSizes(*spSplitter, isVisible())) total += size;
    spSplitter->setSizes({tree, std::max(0, total - tree)});
}

InterfaceSettings TFrame::currentSettings() const {
    // The geometry is the normal one, also for a maximized window.
    const QRect normal = normalGeometry().isValid() ? normalGeometry() : geometry();
    InterfaceSettings s;
    s.maximized = isMaximized();
    s.width = normal.width();
    s.height = normal.height();
    s.left = normal.x();
    s.top = normal.y();
    s.treeWidth = treeWidth();
    s.wordWrap = miWordWrap->isChecked();
    s.zipping = miUseZip->isChecked();
    s.saveOnMin = miSaveOnMin->isChecked();
    s.showToolBar = miShowToolBar->isChecked();
    s.useTray = miUseTray->isChecked();
    return s;
}

void TFrame::LoadOrSaveSettings(bool save) {
    const QString path = SettingsFilePath();
    if (path.isEmpty()) return;
    const std::string file = QFile::encodeName(path).toStdString();

    if (!save) {
        const IniFile ini = IniFile::load(file);
        const InterfaceSettings s = ReadInterfaceSettings(ini, currentSettings());

        // Geometry: the size raised to the minimum and cut to the primary screen; the
        // edges as stored. Without stored edges the window system's placement stays.
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QSize screenSize = screen ? screen->geometry().size() : QSize();
        const int width = ClampWindowExtent(s.width, minimumWidth(), screenSize.width());
        const int height = ClampWindowExtent(s.height, minimumHeight(), screenSize.height());
        auto holdsInteger = [&ini](const char* key) {
            int value = 0;
            const auto text = ini.value(kSettingsSection, key);
            return text && ParseInteger(*text, value);
        };
        const bool edgesStored = holdsInteger("WindowLeft") || holdsInteger("WindowTop");
        if (edgesStored) setGeometry(s.left, s.top, width, height);
        else resize(width, height);

        // Shown now, unless this is the hidden start-up (the tray option decides it, read
        // ahead of its turn); a hidden window is maximized when it is first shown.
        if (!(FHiddenStart && s.useTray && tray_->available())) show();
        if (s.maximized) {
            if (isVisible()) showMaximized();
            else setWindowState(windowState() | Qt::WindowMaximized);
        }
        setTreeWidth(s.treeWidth);

        miWordWrap->setChecked(s.wordWrap);
        ApplyWordWrap();
        miUseZip->setChecked(s.zipping);
        doc_->UseZip = s.zipping;
        miSaveOnMin->setChecked(s.saveOnMin);
        miShowToolBar->setChecked(s.showToolBar);
        tbToolBar->setVisible(s.showToolBar);
        miUseTray->setChecked(s.useTray);
        spelling_->readSettings(ini);
        return;
    }

    // Writing keeps whatever else the file holds, and replaces the file in one step: a
    // folder that cannot be written leaves the old file whole (the caller ignores the
    // failure).
    QDir().mkpath(QFileInfo(path).absolutePath());
    IniFile ini = IniFile::load(file);
    WriteInterfaceSettings(ini, currentSettings());
    spelling_->writeSettings(ini);
    ini.save(file);
}

}  // namespace lark::gui
