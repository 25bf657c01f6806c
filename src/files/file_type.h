#pragma once
// Registration of the notebook file type with the desktop, the freedesktop.org way, in the
// user's own XDG directories: a shared-mime-info package for the type, the program's
// .desktop entry, its icon in the hicolor theme, Larkpad as the type's default application
// in mimeapps.list, then the desktop's caches refreshed. The files carry the same names,
// type and (for the installed program) the same Exec line as the system-wide install, so
// they stand beside it without breaking it.
#include <QByteArray>
#include <QString>

namespace lark::files {

inline constexpr const char* kNotebookMimeType = "application/x-larkpad";
inline constexpr const char* kDesktopFileId = "io.github.larkpad.larkpad.desktop";

// The Exec value that starts `program` with one document path: the program as a desktop
// entry spells it (quoted and escaped when it needs to be), then "%f".
QString DesktopExecValue(const QString& program);

// `entry` (a .desktop file) with the value of its Exec line replaced by `execValue`.
QString WithExecValue(const QString& entry, const QString& execValue);

// mimeapps.list text with Larkpad as the notebook type's default application: the type's
// line in "[Default Applications]" is replaced, or added right under the section's header
// (with the section when missing); every other line stays as it was, byte for byte.
QByteArray WithDefaultApplication(const QByteArray& mimeAppsText);

struct XdgHomes {
    QString dataHome;    // $XDG_DATA_HOME: mime/, applications/, icons/
    QString configHome;  // $XDG_CONFIG_HOME: mimeapps.list
};

enum class CacheRefresh { InBackground, Wait };

enum class Registration {
    Done,
    Failed,
    // Done but for the default application: mimeapps.list is read-only, or not a regular
    // file (a link, a FIFO, a device), and is left as it is.
    DefaultReadOnly,
    DefaultNotRegular,
};

// Writes the registration for the program at `executable` into `homes`. Stops at the first
// failure (what was written stays); never throws, never shows anything. Every file is
// replaced by renaming a new one over it, so nothing is written through a link; a FIFO is
// never opened so that it could block.
Registration RegisterFileTypeIn(const XdgHomes& homes, const QString& executable, CacheRefresh refresh);

// The registration for this program in the user's directories, at a start without
// arguments; the caches are refreshed in the background.
Registration RegisterFileType();

}  // namespace lark::files
