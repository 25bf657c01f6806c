#pragma once
// What a person does and sees on the test display, through Xlib and XTest (the display
// named by DISPLAY). Window ids are X window ids.
namespace lark::xtest {

bool Mapped(unsigned long window);  // viewable on the screen
unsigned long ActiveWindow();       // _NET_ACTIVE_WINDOW, 0 when none
void RequestActivation(unsigned long window);
void PressWinZ();
void Click(int x, int y, unsigned button, bool twice);
// Someone holds Win+Z: a grab of it from here is refused with BadAccess.
bool HotKeyHeld();
// Holds Win+Z from here (true) or lets it go (false).
void HoldHotKey(bool hold);

}  // namespace lark::xtest
