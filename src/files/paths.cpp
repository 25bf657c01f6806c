#include "files/paths.h"

#include <QDir>
#include <QStandardPaths>

namespace lark::files {

QString ReplaceExtension(const QString& path, const QString& extension) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot > slash) return path.left(dot) + extension;
    return path + extension;
}

QString BackupPath(const QString& documentPath) {
    return ReplaceExtension(documentPath, QString::fromLatin1(kBackupExtension));
}

QString SaveAsPath(const QString& chosenPath) {
    return ReplaceExtension(chosenPath, QString::fromLatin1(kDocumentExtension));
}

QString DefaultDocumentPath() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dir.isEmpty() || !QDir().mkpath(dir)) return QString();
    return QDir(dir).filePath(QString::fromLatin1(kDefaultDocumentName));
}

}  // namespace lark::files
