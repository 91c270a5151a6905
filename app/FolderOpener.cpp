#include "app/FolderOpener.h"

#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>

namespace {

constexpr char kFolderType[] = "inode/directory";

bool DeclaresFolderType(const QString& desktopFile) {
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith("MimeType=")) {
            const QList<QByteArray> types =
                line.mid(static_cast<qsizetype>(sizeof "MimeType=") - 1).split(';');
            return types.contains(QByteArray(kFolderType));
        }
    }
    return false;
}

// Any .desktop entry under the applications folders (user's first, then the system's).
bool AnyProgramOpensFolders() {
    for (const QString& folder : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        QDirIterator entries(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                             QDirIterator::Subdirectories);
        while (entries.hasNext()) {
            if (DeclaresFolderType(entries.next())) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

QString WhyNoFileManager() {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()) {
        return QStringLiteral("no file manager is installed (the desktop's opener xdg-open is missing)");
    }
    if (!AnyProgramOpensFolders()) {
        return QStringLiteral("no file manager is installed (no installed program opens folders)");
    }
    return {};
}
