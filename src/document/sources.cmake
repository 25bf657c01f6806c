# The notebook core: model, file format, file access, load and save.
# One file a line, relative to this folder.
set(LARKPAD_DOCUMENT_SOURCES
  cp1251.cpp
  cp1251.h
  document.cpp
  document.h
  envelope.cpp
  envelope.h
  errors.h
  file_access.cpp
  file_access.h
  file_ops.cpp
  file_ops.h
  file_replace.cpp
  file_replace.h
  fold_find.cpp
  fold_find.h
  format.cpp
  format.h
  info_lines.cpp
  info_lines.h
  interfaces.h
  load_bytes.cpp
  load_bytes.h
  memory_view.cpp
  memory_view.h
  recovery.cpp
  recovery.h
  scan_either.h
  section_tree.cpp
  section_tree.h
  snapshot.cpp
  snapshot.h
  text_buffer.h
  unique_fd.h
)
list(TRANSFORM LARKPAD_DOCUMENT_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
