#include "files/file_type.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

static void initDesktopResources() { Q_INIT_RESOURCE(desktop); }

namespace lark::files {

namespace {

constexpr const char* kDefaultsSection = "[Default Applications]";

QByteArray ResourceBytes(const char* name) {
    QFile file(QStringLiteral(":/desktop/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    if (bytes.isEmpty() || !QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(bytes);
    return file.commit();
}

// Runs one of the desktop's cache tools on `dir`, when the tool is installed.
void RunTool(const char* tool, const QString& dir, CacheRefresh refresh) {
    const QString program = QStandardPaths::findExecutable(QLatin1String(tool));
    if (program.isEmpty()) return;
    QProcess process;
    process.setProgram(program);
    process.setArguments({dir});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (refresh == CacheRefresh::InBackground) {
        process.startDetached();
        return;
    }
    process.start();
    process.waitForFinished(60000);
}

// The program as Exec names it: "larkpad" when it is the larkpad the PATH finds (then the
// line is the installed entry's own), else its full path.
QString ExecProgram(const QString& executable) {
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("larkpad"));
    if (!onPath.isEmpty() && QFileInfo(onPath).canonicalFilePath() == QFileInfo(executable).canonicalFilePath())
        return QStringLiteral("larkpad");
    return executable;
}

}  // namespace

QString DesktopExecValue(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = program.isEmpty();
    for (QChar c : program) quote = quote || reserved.contains(c);
    QString argument;
    if (quote) {
        // Inside double quotes, ", `, $ and \ take a backslash.
        argument = QStringLiteral("\"");
        for (QChar c : program) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') argument += u'\\';
            argument += c;
        }
        argument += u'"';
    } else {
        argument = program;
    }
    // Then the escapes of every string value, and "%" doubled so it is no field code.
    QString value;
    for (QChar c : argument) {
        switch (c.unicode()) {
        case '\\': value += QStringLiteral("\\\\"); break;
        case '\n': value += QStringLiteral("\\n"); break;
        case '\t': value += QStringLiteral("\\t"); break;
        case '\r': value += QStringLiteral("\\r"); break;
        case '%': value += QStringLiteral("%%"); break;
        default: value += c;
        }
    }
    return value + QStringLiteral(" %f");
}

QString WithExecValue(const QString& entry, const QString& execValue) {
    QStringList lines = entry.split(u'\n');
    for (QString& line : lines)
        if (line.startsWith(QLatin1String("Exec="))) line = QStringLiteral("Exec=") + execValue;
    return lines.join(u'\n');
}

QString WithDefaultApplication(const QString& mimeAppsText) {
    const QString key = QLatin1String(kNotebookMimeType);
    const QString ours = key + u'=' + QLatin1String(kDesktopFileId) + u';';
    QStringList lines = mimeAppsText.split(u'\n');
    // A final line break leaves an empty last piece: it stays the file's end.
    const bool endsWithBreak = !mimeAppsText.isEmpty() && mimeAppsText.endsWith(u'\n');
    if (endsWithBreak) lines.removeLast();
    if (mimeAppsText.isEmpty()) lines.clear();

    qsizetype header = -1;
    bool written = false;
    bool inDefaults = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString trimmed = lines[i].trimmed();
        if (trimmed.startsWith(u'[')) {
            inDefaults = trimmed == QLatin1String(kDefaultsSection);
            if (inDefaults && header < 0) header = i;
            continue;
        }
        if (inDefaults && trimmed.section(u'=', 0, 0).trimmed() == key && trimmed.contains(u'=')) {
            lines[i] = ours;
            written = true;
        }
    }
    if (!written) {
        if (header >= 0) {
            lines.insert(header + 1, ours);
        } else {
            if (!lines.isEmpty() && !lines.constLast().trimmed().isEmpty()) lines << QString();
            lines << QLatin1String(kDefaultsSection) << ours;
        }
    }
    return lines.join(u'\n') + u'\n';
}

bool RegisterFileTypeIn(const XdgHomes& homes, const QString& executable, CacheRefresh refresh) {
    if (homes.dataHome.isEmpty() || homes.configHome.isEmpty()) return false;
    initDesktopResources();
    const QDir data(homes.dataHome);
    const QString entry =
        WithExecValue(QString::fromUtf8(ResourceBytes("larkpad.desktop")), DesktopExecValue(ExecProgram(executable)));
    const QByteArray icon = ResourceBytes("larkpad.svg");
    if (!WriteFile(data.filePath(QStringLiteral("mime/packages/larkpad.xml")), ResourceBytes("larkpad.xml")) ||
        !WriteFile(data.filePath(QStringLiteral("applications/")) + QLatin1String(kDesktopFileId), entry.toUtf8()) ||
        !WriteFile(data.filePath(QStringLiteral("icons/hicolor/scalable/apps/larkpad.svg")), icon) ||
        !WriteFile(data.filePath(QStringLiteral("icons/hicolor/scalable/mimetypes/application-x-larkpad.svg")), icon))
        return false;

    const QString mimeApps = QDir(homes.configHome).filePath(QStringLiteral("mimeapps.list"));
    QFile current(mimeApps);
    QString text;
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly)) return false;
        text = QString::fromUtf8(current.readAll());
        current.close();
    }
    if (!WriteFile(mimeApps, WithDefaultApplication(text).toUtf8())) return false;

    RunTool("update-mime-database", data.filePath(QStringLiteral("mime")), refresh);
    RunTool("update-desktop-database", data.filePath(QStringLiteral("applications")), refresh);
    return true;
}

void RegisterFileType() {
    try {
        const XdgHomes homes{QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)};
        RegisterFileTypeIn(homes, QCoreApplication::applicationFilePath(), CacheRefresh::InBackground);
    } catch (...) {
        // Registration is a courtesy to the desktop: the start-up goes on without it.
    }
}

}  // namespace lark::files
