#pragma once
// The section editor as the window sees it: the editor widget (note_editor.h), its links,
// clipboard commands, capacity guard and printing, and the Windows-1251 conversions the
// window shares with it. The window includes this header only; how a section's text is
// shown (long lines in pieces, lines in groups) stays inside the editor.
#include "editor/edit_clipboard.h"   // IWYU pragma: export
#include "editor/editor_capacity.h"  // IWYU pragma: export
#include "editor/editor_links.h"     // IWYU pragma: export
#include "editor/note_editor.h"      // IWYU pragma: export
#include "editor/spell_marks.h"      // IWYU pragma: export
#include "editor/text_codec.h"       // IWYU pragma: export
#include "editor/text_printer.h"     // IWYU pragma: export
