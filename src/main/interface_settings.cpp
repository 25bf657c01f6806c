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

void WriteInterfaceSettings(IniFile& ini, const InterfaceSettings& settings) {
    const char* s = kSettingsSection;
    ini.writeBool(s, "Maximized", settings.maximized);
    ini.writeInteger(s, "WindowWidth", settings.width);
    ini.writeInteger(s, "WindowHeight", settings.height);
    ini.writeInteger(s, "WindowLeft", settings.left);
    ini.writeInteger(s, "WindowTop", settings.top);
    ini.writeInteger(s, "TreeWidth", settings.treeWidth);
    ini.writeBool(s, "WordWrap", settings.wordWrap);
    ini.writeBool(s, "Zipping", settings.zipping);
    ini.writeBool(s, "SaveOnMin", settings.saveOnMin);
    ini.writeBool(s, "ShowToolBar", settings.showToolBar);
    ini.writeBool(s, "UseTray", settings.useTray);
}

int ClampWindowExtent(int stored, int minimum, int screen) {
    const int raised = std::max(stored, minimum);
    return screen > 0 && screen < raised ? screen : raised;
}

}  // namespace lark
