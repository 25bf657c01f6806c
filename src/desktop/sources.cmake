# The desktop around the window (Qt, xcb): tray icons, hiding other programs' windows
# (Win+Z), termination signals, opening addresses and starting programs.
# One file a line, relative to this folder.
set(LARKPAD_DESKTOP_SOURCES
  desktop.cpp
  desktop.h
  desktop_shell.h
  hidden_windows.cpp
  hidden_windows.h
  termination_signals.cpp
  termination_signals.h
  tray_area.cpp
  tray_area.h
  window_system.h
  x11_window_system.cpp
  x11_window_system.h
)
list(TRANSFORM LARKPAD_DESKTOP_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
