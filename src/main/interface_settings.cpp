#include "main/interface_settings.h"

#include <algorithm>

namespace lark {

InterfaceSettings ReadInterfaceSettings(const IniFile& ini, const InterfaceSettings& current) {
    const char* s = kSettingsSection;
    InterfaceSettings r;
    r.maximized = ini.readBool(s, "Maximized", false);
    r.width = ini.readInteger(s, "WindowWidth", current.width);
    r.height = ini.readInteger(s, "WindowHeight", current.height);
    r.left = ini.readInteger(s, "WindowLeft", current.left);
    r.top = ini.readInteger(s, "WindowTop", current.top);
    r.treeWidth = ini.readInteger(s, "TreeWidth", current.treeWidth);
    r.wordWrap = ini.readBool(s, "WordWrap", current.wordWrap);
    r.zipping = ini.readBool(s, "Zipping", current.zipping);
    r.saveOnMin = ini.readBool(s, "SaveOnMin", current.saveOnMin);
    r.showToolBar = ini.readBool(s, "ShowToolBar", current.showToolBar);
    r.useTray = ini.readBool(s, "UseTray", current.useTray);
    return r;
}

void WriteInterfaceSettings(IniFile& ini, const InterfaceSettings& v) {
    const char* s = kSettingsSection;
    ini.writeBool(s, "Maximized", v.maximized);
    ini.writeInteger(s, "WindowWidth", v.width);
    ini.writeInteger(s, "WindowHeight", v.height);
    ini.writeInteger(s, "WindowLeft", v.left);
    ini.writeInteger(s, "WindowTop", v.top);
    ini.writeInteger(s, "TreeWidth", v.treeWidth);
    ini.writeBool(s, "WordWrap", v.wordWrap);
    ini.writeBool(s, "Zipping", v.zipping);
    ini.writeBool(s, "SaveOnMin", v.saveOnMin);
    ini.writeBool(s, "ShowToolBar", v.showToolBar);
    ini.writeBool(s, "UseTray", v.useTray);
}

int ClampWindowExtent(int stored, int minimum, int screen) {
    const int raised = std::max(stored, minimum);
    return screen > 0 && screen < raised ? screen : raised;
}

}  // namespace lark
