#pragma once
// The window geometry and the five options kept in the settings file, section
// "InterfaceSettings". Reading takes every missing or unreadable key from the values the
// window has at that moment; writing puts the eleven keys in their fixed order. No Qt here:
// the window applies and gathers the values (tframe_settings.cpp).
#include <string>

#include "main/ini_file.h"

namespace lark {

inline constexpr const char* kSettingsSection = "InterfaceSettings";
inline constexpr const char* kSettingsFileName = "larkpad.ini";

struct InterfaceSettings {
    bool maximized = false;
    int width = 0;
    int height = 0;
    int left = 0;
    int top = 0;
    int treeWidth = 177;
    bool wordWrap = false;
    bool zipping = false;
    bool saveOnMin = false;
    bool showToolBar = true;
    bool useTray = false;
};

// The eleven keys in the order in which they are written.
inline constexpr const char* kSettingsKeys[] = {
    "Maximized", "WindowWidth", "WindowHeight", "WindowLeft",  "WindowTop", "TreeWidth",
    "WordWrap",  "Zipping",     "SaveOnMin",    "ShowToolBar", "UseTray",
};

InterfaceSettings ReadInterfaceSettings(const IniFile& ini, const InterfaceSettings& current);
void WriteInterfaceSettings(IniFile& ini, const InterfaceSettings& settings);

// Width and height as applied to the window: raised to the window's minimum size first,
// then cut to the primary screen's size.
inline constexpr int kMinWindowWidth = 300;
inline constexpr int kMinWindowHeight = 200;
int ClampWindowExtent(int stored, int minimum, int screen);

}  // namespace lark
