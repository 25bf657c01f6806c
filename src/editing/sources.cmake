# Section commands.
# One file a line, relative to this folder.
set(LARKPAD_EDITING_SOURCES
  section_commands.cpp
  section_commands.h
  section_history.cpp
  section_history.h
  text_replace.cpp
  text_replace.h
)
list(TRANSFORM LARKPAD_EDITING_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
