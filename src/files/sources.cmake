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
  rename_with_links.cpp
  rename_with_links.h
)
list(TRANSFORM LARKPAD_FILES_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)

# Export and import of notebooks: GUI-free, a library of its own for lkp and the window.
set(LARKPAD_EXCHANGE_SOURCES
  exchange_text.cpp
  exchange_text.h
  folder_io.cpp
  folder_io.h
  html_export.cpp
  html_export.h
  name_escape.cpp
  name_escape.h
  notebook_export.cpp
  notebook_export.h
  notebook_folder.h
  notebook_import.cpp
  notebook_import.h
)
list(TRANSFORM LARKPAD_EXCHANGE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
