# The scan for notebook files.
# One file a line, relative to this folder.
set(LARKPAD_FINDER_SOURCES
  finder.cpp
  finder.h
  mount_list.cpp
  mount_list.h
  text_list.cpp
  text_list.h
)
list(TRANSFORM LARKPAD_FINDER_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
