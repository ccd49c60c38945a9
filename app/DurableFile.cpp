#include "DurableFile.h"

#include "FileOps.h"
#include "FileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <filesystem>

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#endif

namespace album {

bool WriteNewFile(const QString &path, const QByteArray &bytes, int mode) {
    try {
        tags::fileops::File f("album");
        f.CreateNew(platform::FsPath(path));
        try {
            f.Write(bytes.constData(), static_cast<size_t>(bytes.size()));
            f.Sync();
            f.Close();
        } catch (...) {
            f.Close();
            QFile::remove(path);
            return false;
        }
    } catch (...) {
        return false;
    }
    if (mode)
        QFile::setPermissions(path, QFileDevice::Permissions(mode));
    return true;
}

bool ReplaceFile(const QString &path, const QByteArray &bytes, const QString &scratch) {
    QFile::remove(scratch);  // left by an earlier attempt
    const int mode = QFileInfo::exists(path) ? static_cast<int>(QFileInfo(path).permissions()) : 0x6644;
    if (!WriteNewFile(scratch, bytes, mode))
        return false;
    std::error_code ec;
    std::filesystem::rename(tags::fileops::PathFromUtf8(platform::FsPath(scratch)),
                            tags::fileops::PathFromUtf8(platform::FsPath(path)), ec);
    if (ec) {
        QFile::remove(scratch);
        return false;
    }
    SyncFolderOf(path, true);
    return true;
}

void RemoveWriterLeftovers(const QString &folder) {
#ifndef Q_OS_WIN
    static const QRegularExpression name(QStringLiteral("^\\.sortimentor-(\\d+)-\\d+\\.tmp$"));
    const QStringList found = QDir(folder).entryList({QStringLiteral(".sortimentor-*.tmp")}, QDir::Files | QDir::Hidden);
    for (const QString &n : found) {
        const QRegularExpressionMatch m = name.match(n);
        const pid_t pid = static_cast<pid_t>(m.captured(1).toLongLong());
        if (m.hasMatch() && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QFile::remove(QDir(folder).filePath(n));
    }
#else
    Q_UNUSED(folder);
#endif
}

void SyncFolderOf(const QString &folderOrFile, bool isFile) {
    const QString dir = isFile ? QFileInfo(folderOrFile).absolutePath() : QDir(folderOrFile).absolutePath();
    tags::fileops::SyncFolder(platform::FsPath(dir));
}

} // namespace album
