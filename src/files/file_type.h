#pragma once
// Registration of the notebook file type with the desktop, run at a start without
// arguments. The desktop side (MIME type, .desktop entry, icon) comes with its own change.
namespace lark::files {

void RegisterFileType();

}  // namespace lark::files
