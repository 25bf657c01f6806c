// The window's menus, tool bar and pop-up menus: every item with its caption, short-cut
// and hint, named as the form names it, and wired to its handler through runCommand.
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include "editor/editor.h"
#include "main/icons.h"
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
        connect(action, &QAction::triggered, this,
                [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
    return action;
}

void TFrame::createActions() {
    // One row per menu item: the field it lands in, object name, caption, icon, short-cut,
    // hint, handler.
    struct Row {
        QAction* TFrame::*field;
        const char* name;
        const char* caption;
        const char* icon;
        const char* shortcut;
        const char* hint;
        void (TFrame::*handler)();
    };
    static const Row kRows[] = {
        // "&Файл"
        {&TFrame::miClear, "miClear", "Создать", nullptr, "Ctrl+N", "Создать новый файл", &TFrame::miClearClick},
        {&TFrame::miOpen, "miOpen", "Открыть...", "open", "Ctrl+O", "Открыть существующий файл", &TFrame::miOpenClick},
        {&TFrame::miOpenAll, "miOpenAll", "Открыть все", nullptr, "Ctrl+Alt+F",
         "Очень долго! Найти и открыть все файлы Larkpad", &TFrame::miOpenAllClick},
        {&TFrame::miPrintNode, "miPrintNode", "Печать раздела", "print", "Ctrl+P",
         "Печать текущего раздела на принтере", &TFrame::miPrintNodeClick},
        {&TFrame::miSave, "miSave", "Сохранить", "save", "Ctrl+S", "Сохранить файл", &TFrame::miSaveClick},
        {&TFrame::miSaveAs, "miSaveAs", "Сохранить как...", nullptr, "Ctrl+Shift+S", "Сохранить под другим именем",
         &TFrame::miSaveAsClick},
        {&TFrame::miExport, "miExport", "Экспорт...", nullptr, nullptr,
         "Сохранить блокнот как страницу HTML или папку текстовых файлов", &TFrame::miExportClick},
        {&TFrame::miImport, "miImport", "Импорт...", nullptr, nullptr,
         "Открыть папку текстовых файлов как новый блокнот", &TFrame::miImportClick},
        {&TFrame::miMergeFile, "miMergeFile", "Объединить с файлом...", nullptr, nullptr,
         "Добавить в блокнот разделы другого файла, различия сохранить как конфликты", &TFrame::miMergeFileClick},
        {&TFrame::miProtect, "miProtect", "Защитить паролем...", nullptr, nullptr,
         "Шифровать блокнот: открыть его можно будет только с паролем", &TFrame::miProtectClick},
        {&TFrame::miChangePassword, "miChangePassword", "Изменить пароль...", nullptr, nullptr,
         "Задать блокноту новый пароль", &TFrame::miChangePasswordClick},
        {&TFrame::miUnprotect, "miUnprotect", "Снять защиту", nullptr, nullptr, "Сохранять блокнот без шифрования",
         &TFrame::miUnprotectClick},
        {&TFrame::miExit, "miExit", "Выход", nullptr, "Alt+X", "Завершить работу с программой", &TFrame::miExitClick},
        // "&Правка"
        {&TFrame::miUndo, "miUndo", "Отменить", nullptr, "Ctrl+Z", "Отмена последнего действия", &TFrame::miUndoClick},
        {&TFrame::miUndoSection, "miUndoSection", "Отменить действие с разделом", nullptr, "Ctrl+Alt+Z",
         "Вернуть дерево разделов к виду до последнего действия", &TFrame::miUndoSectionClick},
        {&TFrame::miRedoSection, "miRedoSection", "Повторить действие с разделом", nullptr, "Ctrl+Alt+Y",
         "Повторить отменённое действие с разделом", &TFrame::miRedoSectionClick},
        {&TFrame::miCut, "miCut", "Вырезать", nullptr, "Ctrl+X", "Вырезать текст", &TFrame::miCutClick},
        {&TFrame::miCopy, "miCopy", "Копировать", nullptr, "Ctrl+C", "Копировать текст", &TFrame::miCopyClick},
        {&TFrame::miPaste, "miPaste", "Вставить", nullptr, "Ctrl+V", "Вставить текст", &TFrame::miPasteClick},
        {&TFrame::miSelectAll, "miSelectAll", "Выделить все", nullptr, "Ctrl+A", nullptr, &TFrame::miSelectAllClick},
        {&TFrame::miFind, "miFind", "Найти в текущем", "find", "Ctrl+F", "Найти в текущем разделе",
         &TFrame::miFindClick},
        {&TFrame::miEntireSearch, "miEntireSearch", "Глобальный поиск", "find-all", "Ctrl+Shift+F",
         "Поиск по всем разделам", &TFrame::miEntireSearchClick},
        {&TFrame::miSearchAgain, "miSearchAgain", "Повторить поиск", "find-again", "Ctrl+L", "Найти дальше",
         &TFrame::miSearchAgainClick},
        {&TFrame::miFindAll, "miFindAll", "Найти все...", nullptr, "Ctrl+Shift+L",
         "Список всех совпадений во всех разделах", &TFrame::miFindAllClick},
        {&TFrame::miNearestDates, "miNearestDates", "Ближайшие дд.мм.гг", nullptr, "F9",
         "Поиск дат (дд.мм.гг.) в файле", &TFrame::miNearestDatesClick},
        // "&Инфо"
        {&TFrame::miNewNode, "miNewNode", "Новый раздел", "new-node", "F7",
         "Создать новый раздел возле выбранного раздела на дереве", &TFrame::pmNewNodeClick},
        {&TFrame::miNewSub, "miNewSub", "Новый подраздел", "new-sub", "Shift+F7",
         "Создать новый раздел под выбранным разделом на дереве", &TFrame::miNewSubClick},
        {&TFrame::miRename, "miRename", "Переименовать", "rename", "F6", "Изменить имя текущего раздела",
         &TFrame::pmRenNodeClick},
        {&TFrame::miDelete, "miDelete", "Удалить раздел", "delete", "F8",
         "Удалить раздел без возможности восстановления", &TFrame::pmDelNodeClick},
        {&TFrame::miMoveUp, "miMoveUp", "Раздел выше", "move-up", "Ctrl+U", "Поднять раздел вверх на 1 шаг",
         &TFrame::pmMoveNodeUpClick},
        {&TFrame::miMoveDown, "miMoveDown", "Раздел ниже", "move-down", "Ctrl+D", "Опустить раздел вниз на 1 шаг",
         &TFrame::pmMoveNodeDownClick},
        {&TFrame::miToUpper, "miToUpper", "Раздел наверх", "to-top", "Ctrl+Alt+U", "Поднять раздел на самый вверх",
         &TFrame::pmMoveNodeTopClick},
        {&TFrame::miToBottom, "miToBottom", "Раздел вниз", "to-bottom", "Ctrl+Alt+D", "Опустить раздел в самый низ",
         &TFrame::pmMoveNodeBottomClick},
        {&TFrame::miLevelUp, "miLevelUp", "На уровень вверх", "level-up", "Ctrl+Shift+U",
         "Поднять раздел на уровень выше", &TFrame::pmMoveNodeLevUpClick},
        // "&Вид"
        {&TFrame::miWordWrap, "miWordWrap", "Перенос по словам", "word-wrap", "Ctrl+W",
         "Изменить вид переноса текста раздела", &TFrame::miWordWrapClick},
        {&TFrame::miBiggerFont, "miBiggerFont", "Увеличить шрифт", nullptr, "Ctrl+G",
         "Временно увеличить шрифт текста раздела", &TFrame::miBiggerFontClick},
        {&TFrame::miSmallerFont, "miSmallerFont", "Уменьшить шрифт", nullptr, "Ctrl+Shift+G",
         "Временно уменьшить шрифт текста раздела", &TFrame::miSmallerFontClick},
        // "Настройка"
        {&TFrame::miSaveOnMin, "miSaveOnMin", "Сохранять при минимизации", nullptr, nullptr, nullptr,
         &TFrame::miSaveOnMinClick},
        {&TFrame::miShowToolBar, "miShowToolBar", "Отображать панель инструментов", nullptr, nullptr, nullptr,
         &TFrame::miShowToolBarClick},
        {&TFrame::miUseTray, "miUseTray", "Сворачиваться в трей", nullptr, nullptr, nullptr, &TFrame::miUseTrayClick},
        {&TFrame::miUseZip, "miUseZip", "Сжатие информации", nullptr, nullptr, "Включить архивирование файла",
         &TFrame::miUseZipClick},
        // "&Справка"
        {&TFrame::miAuthor, "miAuthor", "&О программе...", nullptr, "F1", "О программе...", &TFrame::miAuthorClick},
        {&TFrame::miMyURL, "miMyURL", "На сайт Larkpad'a", nullptr, "Shift+F1", "На сайт этой программы",
         &TFrame::miMyURLClick},
        {&TFrame::miBugReport, "miBugReport", "Сообщить об ошибке Larkpada", nullptr, nullptr,
         "Баг-репорт. Ждем Ваших пожеланий и предложений!", &TFrame::miBugReportClick},
    };
    for (const Row& row : kRows) {
        const QKeySequence shortcut = row.shortcut ? QKeySequence(QLatin1String(row.shortcut)) : QKeySequence();
        this->*row.field = makeAction(row.name, row.caption, row.icon, shortcut, row.hint, row.handler);
    }

    // The check mark of each option item is the option itself; a click has already
    // inverted it when the handler runs.
    for (QAction* option : {miWordWrap, miSaveOnMin, miShowToolBar, miUseTray, miUseZip}) option->setCheckable(true);
    miShowToolBar->setChecked(true);
    miUndoSection->setEnabled(false);
    miRedoSection->setEnabled(false);

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
    mnFile->addActions({miProtect, miChangePassword, miUnprotect});
    mnFile->addSeparator();
    mnFile->addActions({miExport, miImport});
    mnFile->addAction(miMergeFile);
    mnFile->addSeparator();
    mnFile->addAction(miExit);

    mnEdit = bar->addMenu(QStringLiteral("&Правка"));
    mnEdit->setObjectName(QStringLiteral("mnEdit"));
    mnEdit->addAction(miUndo);
    mnEdit->addActions({miUndoSection, miRedoSection});
    mnEdit->addSeparator();
    mnEdit->addActions({miCut, miCopy, miPaste});
    mnEdit->addSeparator();
    mnEdit->addAction(miSelectAll);
    mnEdit->addSeparator();
    mnEdit->addActions({miFind, miEntireSearch, miSearchAgain, miFindAll});
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
    auto popupItem = [](QMenu* menu, const char* name, const char* caption, const char* shortcut, QAction* item) {
        auto* a = new QAction(QString::fromUtf8(caption), menu);
        a->setObjectName(QLatin1String(name));
        a->setIcon(item->icon());
        a->setStatusTip(item->statusTip());
        if (shortcut) {
            a->setShortcut(QKeySequence(QLatin1String(shortcut)));
            a->setShortcutContext(Qt::WidgetShortcut);  // shown in the menu; the menu bar owns the key
        }
        connect(a, &QAction::triggered, item, &QAction::trigger);
        a->setEnabled(item->isEnabled());
        connect(item, &QAction::enabledChanged, a, &QAction::setEnabled);
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
    pmNodesMenu->addSeparator();
    pmUndoSection =
        popupItem(pmNodesMenu, "pmUndoSection", "Отменить действие с разделом", "Ctrl+Alt+Z", miUndoSection);
    pmRedoSection =
        popupItem(pmNodesMenu, "pmRedoSection", "Повторить действие с разделом", "Ctrl+Alt+Y", miRedoSection);

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
