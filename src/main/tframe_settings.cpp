// The settings file: window geometry and the options' check marks.
#include "main/tframe.h"

namespace lark::gui {

void TFrame::LoadOrSaveSettings(bool save) {
    // Reading and writing larkpad.ini comes with the settings change: until then every
    // start uses the window's design values.
    (void)save;
}

}  // namespace lark::gui
