#pragma once
// Fixed texts of the window.
#include "main/build_config.h"

namespace lark::gui {

inline constexpr const char* kAppTitle = "Larkpad - иерархический блокнот";
inline constexpr const char* kMainCaption = "Larkpad - иерархический блокнот ";  // trailing blank
inline constexpr const char* kConfirmCaption = "Confirm";
inline constexpr const char* kSaveChangesText = "Сохранить изменения?";
inline constexpr const char* kOverwriteText = "Файл с таким именем уже существует. Перезаписать?";
inline constexpr const char* kRestoreRecoveryText =
    "Найдена копия несохранённых изменений %1, оставшаяся после аварийного завершения программы.\n\n"
    "Восстановить её? Если нет, копия будет удалена; «Позже» оставит её до следующего запуска.";
inline constexpr const char* kRestoreOrphanText =
    "Восстановить несохранённые изменения блокнота «%1», которого больше нет?";
inline constexpr const char* kRestoredStatusText = "Восстановлены несохранённые изменения";
inline constexpr const char* kDamagedRecoveryText =
    "Копию несохранённых изменений не удалось прочитать: %1. Она сохранена в файле \"%2\".";
inline constexpr const char* kChangedOnDiskText =
    "Файл \"%1\" изменён другой программой после того, как блокнот был открыт или сохранён.\n\n"
    "Перезаписать его (прежнее содержимое останется в резервной копии), сохранить блокнот под другим "
    "именем или отменить сохранение?";
inline constexpr const char* kOpenTitle = "Выберите файл Блокнотика для просмотра";
inline constexpr const char* kReadOnlyBoxText = "Только для чтения";
inline constexpr const char* kHotKeyTakenText = "Комбинация клавиш Win+Z уже занята";
inline constexpr const char* kOpenAllInfo = "Идёт поиск всех доступных LKP-файлов...";
inline constexpr const char* kOpenAllAskText = "Найдено %1 файлов. Открыть все?";
inline constexpr const char* kMimeAppsReadOnlyText =
    "Файл mimeapps.list только для чтения: Larkpad не назначен программой для файлов .lkp";
inline constexpr const char* kMimeAppsNotRegularText =
    "mimeapps.list не обычный файл: Larkpad не назначен программой для файлов .lkp";
inline constexpr const char* kNoDriveListText = "Не могу получить список дисков";
inline constexpr const char* kAboutName = "Larkpad v" LARKPAD_VERSION;
inline constexpr const char* kAboutText = "Larkpad v" LARKPAD_VERSION " - иерархический блокнот для Linux на Qt 6";
inline constexpr const char* kBugReportQuery = "?subject=@@%20Larkpad&body=Bug%20report!v" LARKPAD_VERSION;
inline constexpr const char* kNoMailProgramText = "Почтовая программа не запускается!";
inline constexpr const char* kWriteToText = "Напишите по адресу ";
inline constexpr const char* kNoBrowserText = "Браузер не запускается. Адрес сайта:";
inline constexpr const char* kNothingMoreFoundText = "Больше не найдено";
inline constexpr const char* kTrayMissingText = "Область уведомлений недоступна";
inline constexpr const char* kHotKeyMissingText = "Комбинация клавиш Win+Z работает только в X11";
inline constexpr int kMinWidth = 300;
inline constexpr int kMinHeight = 200;
inline constexpr int kDesignTreeWidth = 177;

}  // namespace lark::gui
