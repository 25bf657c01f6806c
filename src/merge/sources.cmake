# Merging notebooks: matching sections across versions, three-way text and tree merge.
# One file a line, relative to this folder.
set(LARKPAD_MERGE_SOURCES
  notebook_merge.cpp
  notebook_merge.h
  section_match.cpp
  section_match.h
  text_merge.cpp
  text_merge.h
)
list(TRANSFORM LARKPAD_MERGE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
