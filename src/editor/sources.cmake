# The section editor (Qt): the editor widget and everything about showing a section's text.
# One file a line, relative to this folder.
set(LARKPAD_EDITOR_SOURCES
  edit_clipboard.cpp
  edit_clipboard.h
  editor.h
  editor_capacity.cpp
  editor_capacity.h
  editor_links.cpp
  editor_links.h
  kept_documents.cpp
  kept_documents.h
  line_groups.cpp
  line_groups.h
  long_lines.cpp
  long_lines.h
  note_editor.cpp
  note_editor.h
  note_editor_find.cpp
  shown_text.cpp
  shown_text.h
  spell_marks.cpp
  spell_marks.h
  text_codec.cpp
  text_codec.h
  text_printer.cpp
  text_printer.h
)
list(TRANSFORM LARKPAD_EDITOR_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
