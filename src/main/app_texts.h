#pragma once
// Fixed texts of the window.
namespace lark::gui {

inline constexpr const char* kAppTitle = "Larkpad - иерархический блокнот";
inline constexpr const char* kMainCaption = "Larkpad - иерархический блокнот ";  // trailing blank
inline constexpr const char* kConfirmCaption = "Confirm";
inline constexpr const char* kSaveChangesText = "Сохранить изменения?";
inline constexpr const char* kOverwriteText = "Файл с таким именем уже существует. Перезаписать?";
inline constexpr const char* kOpenTitle = "Выберите файл Блокнотика для просмотра";
inline constexpr const char* kReadOnlyBoxText = "Только для чтения";
inline constexpr const char* kHotKeyTakenText = "Комбинация клавиш Win+Z уже занята";
inline constexpr const char* kTrayMissingText = "Область уведомлений недоступна";
inline constexpr const char* kHotKeyMissingText = "Комбинация клавиш Win+Z работает только в X11";
inline constexpr int kMinWidth = 300;
inline constexpr int kMinHeight = 200;
inline constexpr int kDesignTreeWidth = 177;

}  // namespace lark::gui
