# Document commands, file-type registration, paths (Qt).
# One file a line, relative to this folder.
set(LARKPAD_FILES_SOURCES
  desktop.qrc
  document_commands.cpp
  document_commands.h
  file_dialogs.h
  file_type.cpp
  file_type.h
  paths.cpp
  paths.h
)
list(TRANSFORM LARKPAD_FILES_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
