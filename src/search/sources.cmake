# Text search, section links, the nearest-dates report.
# One file a line, relative to this folder.
set(LARKPAD_SEARCH_SOURCES
  backlinks.cpp
  backlinks.h
  find_all.cpp
  find_all.h
  link_rename.cpp
  link_rename.h
  nearest_dates.cpp
  nearest_dates.h
  section_links.cpp
  section_links.h
  text_search.cpp
  text_search.h
)
list(TRANSFORM LARKPAD_SEARCH_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
