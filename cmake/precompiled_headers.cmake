# Precompiled headers: almost all of a test's or a window file's compile time goes into the
# Qt and GoogleTest headers. One header is precompiled per kind of target, and targets of the
# same kind reuse it (their compile flags match, which a reused header needs).
# Only library headers go in: our own change too often.
option(LARKPAD_PCH "Precompile the Qt and GoogleTest headers" ON)

set(LARKPAD_PCH_STD <algorithm> <cstdint> <functional> <memory> <optional> <string> <string_view> <vector>)
# The Qt headers the window's files use most (whole modules would cost more to precompile
# than they save).
set(LARKPAD_PCH_QT
  <QAbstractItemModel> <QAbstractTextDocumentLayout> <QAction> <QApplication> <QClipboard>
  <QCloseEvent> <QCoreApplication> <QDesktopServices> <QDialog> <QDir> <QEventLoop> <QFile>
  <QFileDialog> <QFileInfo> <QFont> <QFutureWatcher> <QGuiApplication> <QHeaderView> <QIcon>
  <QKeyEvent> <QLabel> <QLineEdit> <QMainWindow> <QMenu> <QMessageBox> <QMimeData>
  <QMouseEvent> <QObject> <QPainter> <QPalette> <QPlainTextEdit> <QPointer> <QPrinter>
  <QProcess> <QPushButton> <QScreen> <QScrollBar> <QSocketNotifier> <QSplitter>
  <QStandardPaths> <QStatusBar> <QString> <QStringList> <QTextBlock> <QTextCursor>
  <QTextDocument> <QTextLayout> <QTimer> <QToolBar> <QTreeView> <QUrl> <QVBoxLayout>
  <QtConcurrent/QtConcurrentRun>)
set(LARKPAD_PCH_QTEST <QTemporaryDir> <QTest> <QSignalSpy> <QRegularExpression> <QInputDialog>
  <QDialogButtonBox>)

# larkpad_precompile(TARGET KIND HEADERS...): the first target of a kind precompiles the
# headers; every later one of that kind reuses its header.
function(larkpad_precompile target kind)
  if(NOT LARKPAD_PCH)
    return()
  endif()
  get_property(host GLOBAL PROPERTY LARKPAD_PCH_HOST_${kind})
  if(host)
    target_precompile_headers(${target} REUSE_FROM ${host})
  else()
    target_precompile_headers(${target} PRIVATE ${ARGN})
    set_property(GLOBAL PROPERTY LARKPAD_PCH_HOST_${kind} ${target})
  endif()
endfunction()
