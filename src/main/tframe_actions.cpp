// The window's menus, tool bar and pop-up menus: every item with its caption, short-cut
// and hint, named as the form names it, and wired to its handler through runCommand.
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "main/icons.h"
#include "main/note_editor.h"
#include "main/section_tree_view.h"
#include "main/tframe.h"

namespace lark::gui {

namespace {
QString u8(const char* text) { return QString::fromUtf8(text); }
}  // namespace

QAction* TFrame::makeAction(const char* name, const char* caption, const char* iconName, const QKeySequence& shortcut,
                            const char* hint, void (TFrame::*handler)()) {
    auto* action = new QAction(u8(caption), this);
    action->setObjectName(QLatin1String(name));
    if (iconName) action->setIcon(AppIcon(iconName));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    if (hint) {
        action->setStatusTip(u8(hint));
        action->setToolTip(u8(hint));
    }
    if (handler)
        connect(action, &QAction::triggered, this, [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
    return action;
}

void TFrame::createActions() {
    using K = QKeySequence;
    // "&Файл"
    miClear = makeAction("miClear", "Создать", nullptr, K(QStringLiteral("Ctrl+N")), "Создать новый файл", &TFrame::miClearClick);
    miOpen = makeAction("miOpen", "Открыть...", "open", K(QStringLiteral("Ctrl+O")), "Открыть существующий файл", &TFrame::miOpenClick);
    miOpenAll = makeAction("miOpenAll", "Открыть все", nullptr, K(QStringLiteral("Ctrl+Alt+F")),
                           "Очень долго! Найти и открыть все файлы Larkpad", &TFrame::miOpenAllClick);
    miPrintNode = makeAction("miPrintNode", "Печать раздела", "print", K(QStringLiteral("Ctrl+P")),
                             "Печать текущего раздела на принтере", &TFrame::miPrintNodeClick);
    miSave = makeAction("miSave", "Сохранить", "save", K(QStringLiteral("Ctrl+S")), "Сохранить файл", &TFrame::miSaveClick);
    miSaveAs = makeAction("miSaveAs", "Сохранить как...", nullptr, K(QStringLiteral("Ctrl+Shift+S")),
                          "Сохранить под другим именем", &TFrame::miSaveAsClick);
    miExport = makeAction("miExport", "Экспорт...", nullptr, QKeySequence(),
                          "Сохранить блокнот как страницу HTML или папку текстовых файлов", &TFrame::miExportClick);
    miImport = makeAction("miImport", "Импорт...", nullptr, QKeySequence(),
                          "Открыть папку текстовых файлов как новый блокнот", &TFrame::miImportClick);
    miExit = makeAction("miExit", "Выход", nullptr, K(QStringLiteral("Alt+X")), "Завершить работу с программой", &TFrame::miExitClick);

    // "&Правка"
    miUndo = makeAction("miUndo", "Отменить", nullptr, K(QStringLiteral("Ctrl+Z")), "Отмена последнего действия", &TFrame::miUndoClick);
    miCut = makeAction("miCut", "Вырезать", nullptr, K(QStringLiteral("Ctrl+X")), "Вырезать текст", &TFrame::miCutClick);
    miCopy = makeAction("miCopy", "Копировать", nullptr, K(QStringLiteral("Ctrl+C")), "Копировать текст", &TFrame::miCopyClick);
    miPaste = makeAction("miPaste", "Вставить", nullptr, K(QStringLiteral("Ctrl+V")), "Вставить текст", &TFrame::miPasteClick);
    miSelectAll = makeAction("miSelectAll", "Выделить все", nullptr, K(QStringLiteral("Ctrl+A")), nullptr, &TFrame::miSelectAllClick);
    miFind = makeAction("miFind", "Найти в текущем", "find", K(QStringLiteral("Ctrl+F")), "Найти в текущем разделе", &TFrame::miFindClick);
    miEntireSearch = makeAction("miEntireSearch", "Глобальный поиск", "find-all", K(QStringLiteral("Ctrl+Shift+F")),
                                "Поиск по всем разделам", &TFrame::miEntireSearchClick);
    miSearchAgain = makeAction("miSearchAgain", "Повторить поиск", "find-again", K(QStringLiteral("Ctrl+L")), "Найти дальше",
                               &TFrame::miSearchAgainClick);
    miNearestDates = makeAction("miNearestDates", "Ближайшие дд.мм.гг", nullptr, K(QStringLiteral("F9")),
                                "Поиск дат (дд.мм.гг.) в файле", &TFrame::miNearestDatesClick);

    // "&Инфо"
    miNewNode = makeAction("miNewNode", "Новый раздел", "new-node", K(QStringLiteral("F7")),
                           "Создать новый раздел возле выбранного раздела на дереве", &TFrame::pmNewNodeClick);
    miNewSub = makeAction("miNewSub", "Новый подраздел", "new-sub", K(QStringLiteral("Shift+F7")),
                          "Создать новый раздел под выбранным разделом на дереве", &TFrame::miNewSubClick);
    miRename = makeAction("miRename", "Переименовать", "rename", K(QStringLiteral("F6")), "Изменить имя текущего раздела",
                          &TFrame::pmRenNodeClick);
    miDelete = makeAction("miDelete", "Удалить раздел", "delete", K(QStringLiteral("F8")),
                          "Удалить раздел без возможности восстановления", &TFrame::pmDelNodeClick);
    miMoveUp = makeAction("miMoveUp", "Раздел выше", "move-up", K(QStringLiteral("Ctrl+U")), "Поднять раздел вверх на 1 шаг",
                          &TFrame::pmMoveNodeUpClick);
    miMoveDown = makeAction("miMoveDown", "Раздел ниже", "move-down", K(QStringLiteral("Ctrl+D")), "Опустить раздел вниз на 1 шаг",
                            &TFrame::pmMoveNodeDownClick);
    miToUpper = makeAction("miToUpper", "Раздел наверх", "to-top", K(QStringLiteral("Ctrl+Alt+U")), "Поднять раздел на самый вверх",
                           &TFrame::pmMoveNodeTopClick);
    miToBottom = makeAction("miToBottom", "Раздел вниз", "to-bottom", K(QStringLiteral("Ctrl+Alt+D")),
                            "Опустить раздел в самый низ", &TFrame::pmMoveNodeBottomClick);
    miLevelUp = makeAction("miLevelUp", "На уровень вверх", "level-up", K(QStringLiteral("Ctrl+Shift+U")),
                           "Поднять раздел на уровень выше", &TFrame::pmMoveNodeLevUpClick);

    // "&Вид"
    miWordWrap = makeAction("miWordWrap", "Перенос по словам", "word-wrap", K(QStringLiteral("Ctrl+W")),
                            "Изменить вид переноса текста раздела", &TFrame::miWordWrapClick);
    miBiggerFont = makeAction("miBiggerFont", "Увеличить шрифт", nullptr, K(QStringLiteral("Ctrl+G")),
                              "Временно увеличить шрифт текста раздела", &TFrame::miBiggerFontClick);
    miSmallerFont = makeAction("miSmallerFont", "Уменьшить шрифт", nullptr, K(QStringLiteral("Ctrl+Shift+G")),
                               "Временно уменьшить шрифт текста раздела", &TFrame::miSmallerFontClick);

    // "Настройка": the check mark of each item is the option itself; a click has
    // already inverted it when the handler runs.
    miSaveOnMin = makeAction("miSaveOnMin", "Сохранять при минимизации", nullptr, {}, nullptr, &TFrame::miSaveOnMinClick);
    miShowToolBar = makeAction("miShowToolBar", "Отображать панель инструментов", nullptr, {}, nullptr, &TFrame::miShowToolBarClick);
    miUseTray = makeAction("miUseTray", "Сворачиваться в трей", nullptr, {}, nullptr, &TFrame::miUseTrayClick);
    miUseZip = makeAction("miUseZip", "Сжатие информации", nullptr, {}, "Включить архивирование файла", &TFrame::miUseZipClick);
    for (QAction* option : {miWordWrap, miSaveOnMin, miShowToolBar, miUseTray, miUseZip}) option->setCheckable(true);
    miShowToolBar->setChecked(true);

    // "&Справка"
    miAuthor = makeAction("miAuthor", "&О программе...", nullptr, K(QStringLiteral("F1")), "О программе...", &TFrame::miAuthorClick);
    miMyURL = makeAction("miMyURL", "На сайт Larkpad'a", nullptr, K(QStringLiteral("Shift+F1")), "На сайт этой программы",
                         &TFrame::miMyURLClick);
    miBugReport = makeAction("miBugReport", "Сообщить об ошибке Larkpada", nullptr, {},
                             "Баг-репорт. Ждем Ваших пожеланий и предложений!", &TFrame::miBugReportClick);

    // Menu-bar short-cuts work wherever the focus is in the window; in the editor, the
    // editing commands stay the editor's own keys.
    for (QAction* a : findChildren<QAction*>()) {
        addAction(a);
        const bool editing = a == miUndo || a == miCut || a == miCopy || a == miPaste || a == miSelectAll;
        if (!editing && !a->shortcut().isEmpty()) reNodeContent->windowKeys << a->shortcut();
    }
}

void TFrame::createMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mmMainMenu"));
    mnFile = bar->addMenu(QStringLiteral("&Файл"));
    mnFile->setObjectName(QStringLiteral("mnFile"));
    mnFile->addActions({miClear, miOpen, miOpenAll});
    mnFile->addSeparator();
    mnFile->addAction(miPrintNode);
    mnFile->addSeparator();
    mnFile->addActions({miSave, miSaveAs});
    mnFile->addSeparator();
    mnFile->addActions({miExport, miImport});
    mnFile->addSeparator();
    mnFile->addAction(miExit);

    mnEdit = bar->addMenu(QStringLiteral("&Правка"));
    mnEdit->setObjectName(QStringLiteral("mnEdit"));
    mnEdit->addAction(miUndo);
    mnEdit->addSeparator();
    mnEdit->addActions({miCut, miCopy, miPaste});
    mnEdit->addSeparator();
    mnEdit->addAction(miSelectAll);
    mnEdit->addSeparator();
    mnEdit->addActions({miFind, miEntireSearch, miSearchAgain});
    mnEdit->addSeparator();
    mnEdit->addAction(miNearestDates);

    mnInfo = bar->addMenu(QStringLiteral("&Инфо"));
    mnInfo->setObjectName(QStringLiteral("mnInfo"));
    mnInfo->addActions({miNewNode, miNewSub, miRename, miDelete});
    mnInfo->addSeparator();
    mnInfo->addActions({miMoveUp, miMoveDown, miToUpper, miToBottom, miLevelUp});

    mnView = bar->addMenu(QStringLiteral("&Вид"));
    mnView->setObjectName(QStringLiteral("mnView"));
    mnView->addAction(miWordWrap);
    mnView->addSeparator();
    mnView->addActions({miBiggerFont, miSmallerFont});

    mnOptions = bar->addMenu(QStringLiteral("Настройка"));
    mnOptions->setObjectName(QStringLiteral("mnOptions"));
    mnOptions->addActions({miSaveOnMin, miShowToolBar, miUseTray});
    mnOptions->addSeparator();
    mnOptions->addAction(miUseZip);

    mnHelp = bar->addMenu(QStringLiteral("&Справка"));
    mnHelp->setObjectName(QStringLiteral("mnHelp"));
    mnHelp->addActions({miAuthor, miMyURL});
    mnHelp->addSeparator();
    mnHelp->addAction(miBugReport);
}

void TFrame::createToolBar() {
    tbToolBar = addToolBar(QStringLiteral("Панель инструментов"));
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    tbToolBar->setIconSize(QSize(22, 22));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // Each button carries its menu item's caption, hint and handler.
    auto button = [this](const char* name, QAction* item) {
        auto* b = new QAction(item->icon(), item->text(), this);
        b->setObjectName(QLatin1String(name));
        b->setStatusTip(item->statusTip());
        b->setToolTip(item->text());
        connect(b, &QAction::triggered, item, &QAction::trigger);
        tbToolBar->addAction(b);
        return b;
    };
    tbOpen = button("tbOpen", miOpen);
    tbSave = button("tbSave", miSave);
    tbPrintNode = button("tbPrintNode", miPrintNode);
    tbToolBar->addSeparator();
    tbNewNode = button("tbNewNode", miNewNode);
    tbNewSub = button("tbNewSub", miNewSub);
    tbRename = button("tbRename", miRename);
    tbDelete = button("tbDelete", miDelete);
    tbToolBar->addSeparator();
    tbMoveUp = button("tbMoveUp", miMoveUp);
    tbMoveDown = button("tbMoveDown", miMoveDown);
    tbToUpper = button("tbToUpper", miToUpper);
    tbToBottom = button("tbToBottom", miToBottom);
    tbLevelUp = button("tbLevelUp", miLevelUp);
    tbToolBar->addSeparator();
    tbFind = button("tbFind", miFind);
    tbEntireSearch = button("tbEntireSearch", miEntireSearch);
    tbSearchAgain = button("tbSearchAgain", miSearchAgain);
    tbToolBar->addSeparator();
    tbWordWrap = button("tbWordWrap", miWordWrap);
    // The word-wrap button shows the option's state; a click goes to the menu item,
    // whose check mark is the option.
    tbWordWrap->setCheckable(true);
    disconnect(tbWordWrap, &QAction::triggered, miWordWrap, &QAction::trigger);
    connect(tbWordWrap, &QAction::triggered, this, [this] {
        tbWordWrap->setChecked(miWordWrap->isChecked());
        miWordWrap->trigger();
    });
    connect(miWordWrap, &QAction::toggled, tbWordWrap, &QAction::setChecked);
    // The tool bar itself offers no hide menu: its visibility is the option's.
    tbToolBar->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void TFrame::createPopupMenus() {
    auto popupItem = [this](QMenu* menu, const char* name, const char* caption, const char* shortcut, QAction* item) {
        auto* a = new QAction(QString::fromUtf8(caption), menu);
        a->setObjectName(QLatin1String(name));
        a->setIcon(item->icon());
        a->setStatusTip(item->statusTip());
        if (shortcut) {
            a->setShortcut(QKeySequence(QLatin1String(shortcut)));
            a->setShortcutContext(Qt::WidgetShortcut);  // shown in the menu; the menu bar owns the key
        }
        connect(a, &QAction::triggered, item, &QAction::trigger);
        menu->addAction(a);
        return a;
    };
    pmNodesMenu = new QMenu(this);
    pmNodesMenu->setObjectName(QStringLiteral("pmNodesMenu"));
    pmNewNode = popupItem(pmNodesMenu, "pmNewNode", "Создать раздел", "F7", miNewNode);
    pmDelNode = popupItem(pmNodesMenu, "pmDelNode", "Удалить раздел", "F8", miDelete);
    pmRenNode = popupItem(pmNodesMenu, "pmRenNode", "Переименовать", "F6", miRename);
    pmNodesMenu->addSeparator();
    pmMoveNodeUp = popupItem(pmNodesMenu, "pmMoveNodeUp", "Выше", "Ctrl+U", miMoveUp);
    pmMoveNodeDown = popupItem(pmNodesMenu, "pmMoveNodeDown", "Ниже", "Ctrl+D", miMoveDown);
    pmMoveNodeTop = popupItem(pmNodesMenu, "pmMoveNodeTop", "Наверх", "Ctrl+Alt+U", miToUpper);
    pmMoveNodeBottom = popupItem(pmNodesMenu, "pmMoveNodeBottom", "Вниз", "Ctrl+Alt+D", miToBottom);
    pmMoveNodeLevUp = popupItem(pmNodesMenu, "pmMoveNodeLevUp", "На уровень вверх", nullptr, miLevelUp);

    pmTextMenu = new QMenu(this);
    pmTextMenu->setObjectName(QStringLiteral("pmTextMenu"));
    pmTextUndo = popupItem(pmTextMenu, "pmTextUndo", "Отменить", nullptr, miUndo);
    pmTextMenu->addSeparator();
    pmTextCut = popupItem(pmTextMenu, "pmTextCut", "Вырезать", "Shift+Del", miCut);
    pmTextCopy = popupItem(pmTextMenu, "pmTextCopy", "Копировать", "Ctrl+Ins", miCopy);
    pmTextPaste = popupItem(pmTextMenu, "pmTextPaste", "Вставить", "Shift+Ins", miPaste);
    pmTextMenu->addSeparator();
    pmTextSelectAll = popupItem(pmTextMenu, "pmTextSelectAll", "Выделить все", nullptr, miSelectAll);
    reNodeContent->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(reNodeContent, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { pmTextMenu->popup(reNodeContent->viewport()->mapToGlobal(p)); });

    pmTray = new QMenu(this);
    pmTray->setObjectName(QStringLiteral("pmTray"));
    tmExit = new QAction(QStringLiteral("Exit"), pmTray);
    tmExit->setObjectName(QStringLiteral("tmExit"));
    connect(tmExit, &QAction::triggered, miExit, &QAction::trigger);
    pmTray->addAction(tmExit);
}

void TFrame::showPopup(const QPoint& globalPos) { pmNodesMenu->popup(globalPos); }

}  // namespace lark::gui
