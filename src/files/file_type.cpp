#include "files/file_type.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <atomic>
#include <cerrno>

#include "document/unique_fd.h"

static void initDesktopResources() { Q_INIT_RESOURCE(desktop); }

namespace lark::files {

namespace {

constexpr const char* kDefaultsSection = "[Default Applications]";

QByteArray ResourceBytes(const char* name) {
    QFile file(QStringLiteral(":/desktop/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

// Replaces the file at `path` with `bytes` in one step: a new file beside it (created, never
// opened through a link), then renamed over it, so that a link, a FIFO or a device at `path`
// is replaced, never written through. `mode` is given to the new file when not negative.
bool WriteFile(const QString& path, const QByteArray& bytes, int mode = -1) {
    const QFileInfo info(path);
    if (bytes.isEmpty() || !QDir().mkpath(info.absolutePath())) return false;
    static std::atomic<unsigned> counter{0};
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary;
    UniqueFd fd;
    for (int attempt = 0; fd.get() < 0; ++attempt) {
        temporary = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() +
                                      QStringLiteral(".%1-%2").arg(::getpid()).arg(counter++));
        fd = UniqueFd(::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd.get() < 0 && (errno != EEXIST || attempt > 100)) return false;
    }
    const bool written = (mode < 0 || ::fchmod(fd.get(), static_cast<mode_t>(mode)) == 0) &&
                         WriteAll(fd.get(), bytes) && ::fsync(fd.get()) == 0 && ::close(fd.release()) == 0 &&
                         ::rename(temporary.constData(), target.constData()) == 0;
    if (!written) ::unlink(temporary.constData());
    return written;
}

// mimeapps.list as it is now: read only when it is a regular file (a FIFO is never waited
// on, a link never followed) that its owner may write.
struct MimeAppsFile {
    Registration state = Registration::Done;
    QByteArray bytes;
    int mode = -1;  // -1: there was none
};

MimeAppsFile ReadMimeApps(const QString& path) {
    MimeAppsFile file;
    UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0) {
        if (errno == ENOENT) return file;
        file.state = errno == ELOOP || errno == ENXIO ? Registration::DefaultNotRegular : Registration::Failed;
        return file;
    }
    if (::fstat(fd.get(), &st) != 0) {
        file.state = Registration::Failed;
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.state = Registration::DefaultNotRegular;
        return file;
    }
    if ((st.st_mode & S_IWUSR) == 0) {
        file.state = Registration::DefaultReadOnly;
        return file;
    }
    file.mode = static_cast<int>(st.st_mode & 07777);
    file.bytes.resize(static_cast<qsizetype>(st.st_size));
    qsizetype done = 0;
    while (done < file.bytes.size()) {
        const ssize_t n =
            ::read(fd.get(), file.bytes.data() + done, static_cast<std::size_t>(file.bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    file.bytes.truncate(done);
    return file;
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
    // GLib looks for the program itself before it expands the field codes, so a "%%" in its
    // path would never be found: such a path goes to the shell as an argument instead.
    const QStringList arguments = program.contains(u'%') ? QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                                                       QStringLiteral("exec \"$0\" \"$@\""), program}
                                                         : QStringList{program};
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString value;
    for (const QString& argument : arguments) {
        bool quote = argument.isEmpty();
        for (QChar c : argument) quote = quote || reserved.contains(c);
        QString quoted;
        if (quote) {
            // Inside double quotes, ", `, $ and \ take a backslash.
            quoted = QStringLiteral("\"");
            for (QChar c : argument) {
                if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
                quoted += c;
            }
            quoted += u'"';
        } else {
            quoted = argument;
        }
        // Then the escapes of every string value, and "%" doubled so it is no field code.
        for (QChar c : quoted) {
            switch (c.unicode()) {
            case '\\': value += QStringLiteral("\\\\"); break;
            case '\n': value += QStringLiteral("\\n"); break;
            case '\t': value += QStringLiteral("\\t"); break;
            case '\r': value += QStringLiteral("\\r"); break;
            case '%': value += QStringLiteral("%%"); break;
            default: value += c;
            }
        }
        value += u' ';
    }
    return value + QStringLiteral("%f");
}

QString WithExecValue(const QString& entry, const QString& execValue) {
    QStringList lines = entry.split(u'\n');
    for (QString& line : lines)
        if (line.startsWith(QLatin1String("Exec="))) line = QStringLiteral("Exec=") + execValue;
    return lines.join(u'\n');
}

QByteArray WithDefaultApplication(const QByteArray& mimeAppsText) {
    const QByteArray key = kNotebookMimeType;
    const QByteArray ours = key + '=' + QByteArray(kDesktopFileId) + ';';
    QList<QByteArray> lines = mimeAppsText.split('\n');
    // A final line break leaves an empty last piece: it stays the file's end.
    if (mimeAppsText.endsWith('\n')) lines.removeLast();
    if (mimeAppsText.isEmpty()) lines.clear();

    qsizetype header = -1;
    bool written = false;
    bool inDefaults = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray trimmed = lines[i].trimmed();
        if (trimmed.startsWith('[')) {
            inDefaults = trimmed == kDefaultsSection;
            if (inDefaults && header < 0) header = i;
            continue;
        }
        const qsizetype equals = trimmed.indexOf('=');
        if (inDefaults && equals > 0 && trimmed.left(equals).trimmed() == key) {
            lines[i] = ours;
            written = true;
        }
    }
    if (!written) {
        if (header >= 0) {
            lines.insert(header + 1, ours);
        } else {
            if (!lines.isEmpty() && !lines.constLast().trimmed().isEmpty()) lines << QByteArray();
            lines << QByteArray(kDefaultsSection) << ours;
        }
    }
    return lines.join('\n') + '\n';
}

Registration RegisterFileTypeIn(const XdgHomes& homes, const QString& executable, CacheRefresh refresh) {
    if (homes.dataHome.isEmpty() || homes.configHome.isEmpty()) return Registration::Failed;
    initDesktopResources();
    const QDir data(homes.dataHome);
    const QString entry =
        WithExecValue(QString::fromUtf8(ResourceBytes("larkpad.desktop")), DesktopExecValue(ExecProgram(executable)));
    const QByteArray icon = ResourceBytes("larkpad.svg");
    if (!WriteFile(data.filePath(QStringLiteral("mime/packages/larkpad.xml")), ResourceBytes("larkpad.xml")) ||
        !WriteFile(data.filePath(QStringLiteral("applications/")) + QLatin1String(kDesktopFileId), entry.toUtf8()) ||
        !WriteFile(data.filePath(QStringLiteral("icons/hicolor/scalable/apps/larkpad.svg")), icon) ||
        !WriteFile(data.filePath(QStringLiteral("icons/hicolor/scalable/mimetypes/application-x-larkpad.svg")), icon))
        return Registration::Failed;

    const QString mimeApps = QDir(homes.configHome).filePath(QStringLiteral("mimeapps.list"));
    const MimeAppsFile current = ReadMimeApps(mimeApps);
    if (current.state == Registration::Failed) return Registration::Failed;
    if (current.state == Registration::Done &&
        !WriteFile(mimeApps, WithDefaultApplication(current.bytes), current.mode))
        return Registration::Failed;

    RunTool("update-mime-database", data.filePath(QStringLiteral("mime")), refresh);
    RunTool("update-desktop-database", data.filePath(QStringLiteral("applications")), refresh);
    return current.state;
}

Registration RegisterFileType() {
    try {
        const XdgHomes homes{QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
                             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)};
        return RegisterFileTypeIn(homes, QCoreApplication::applicationFilePath(), CacheRefresh::InBackground);
    } catch (...) {
        // Registration is a courtesy to the desktop: the start-up goes on without it.
        return Registration::Failed;
    }
}

}  // namespace lark::files
