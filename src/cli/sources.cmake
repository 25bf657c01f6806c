# lkp's commands; main.cpp is the executable's own.
# One file a line, relative to this folder.
set(LARKPAD_CLI_SOURCES
  commands.h
  exchange_commands.cpp
  json_io.cpp
  json_io.h
  lkp.cpp
  lkp.h
  merge_command.cpp
  notebook_commands.cpp
  notebook_loader.cpp
  notebook_loader.h
  replace_command.cpp
  password_source.cpp
  password_source.h
  seal_commands.cpp
  search_commands.cpp
  spell_commands.cpp
)
list(TRANSFORM LARKPAD_CLI_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
