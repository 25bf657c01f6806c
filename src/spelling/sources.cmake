# Spell checking without the window: which words are checked, Hunspell dictionaries in
# Windows-1251, the personal word list.
# One file a line, relative to this folder.
set(LARKPAD_SPELLING_SOURCES
  dictionary_files.cpp
  dictionary_files.h
  hunspell_dictionary.cpp
  hunspell_dictionary.h
  near_words.cpp
  near_words.h
  personal_words.cpp
  personal_words.h
  spell_checker.cpp
  spell_checker.h
  word_scan.cpp
  word_scan.h
)
list(TRANSFORM LARKPAD_SPELLING_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
