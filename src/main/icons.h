#pragma once
// Icons: the desktop theme's icon when it has one, else the one bundled with the program.
#include <QIcon>

namespace lark::gui {

// `name` is the bundled icon's name (":/icons/<name>.svg"); the theme name is looked up
// from it.
QIcon AppIcon(const char* name);
// The program's own icon (window, tray, file type).
QIcon ProgramIcon();
// Makes the bundled icons available (they live in a static library).
void InitIconResources();

}  // namespace lark::gui
