#include "DurableFile.h"

#include "FileEdit.h"
#include "FileOps.h"
#include "FolderRecovery.h"
#include "FileUtils.h"
#include "TagError.h"
#include "Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <stdexcept>

namespace album {

namespace {

// Creates `path` (which must be free), lets `fill` write it and flushes it; false, and
// nothing left under the name, when any of that fails.
bool CreateFlushed(const QString &path, const std::function<void(tags::fileops::File &)> &fill, bool flush = true) {
    try {
        tags::fileops::File f("album");
        f.CreateNew(platform::FsPath(path));
        try {
            fill(f);
            if (flush)
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
    return true;
}

} // namespace

bool WriteNewFile(const QString &path, const QByteArray &bytes, int mode) {
    if (!CreateFlushed(path, [&](tags::fileops::File &f) { f.Write(bytes.constData(), static_cast<size_t>(bytes.size())); }))
        return false;
    if (mode)
        QFile::setPermissions(path, QFileDevice::Permissions(mode));
    return true;
}

namespace {

// Written straight under the new name (never beside it), so that a copy cut short
// leaves nothing but that name, which the run's record knows.
bool CopyWhole(const QString &from, const QString &to, bool flush) {
    try {
        tags::fileops::File in("rename");
        in.Open(platform::FsPath(from), tags::fileops::File::Mode::Read);
        return CreateFlushed(
            to,
            [&](tags::fileops::File &out) {
                const std::int64_t size = in.Size();
                std::int64_t copied = 0;
                while (copied < size) {
                    const size_t n = out.CopyFrom(in, static_cast<size_t>(qMin<std::int64_t>(size - copied, 1 << 20)));
                    if (n == 0)
                        break;
                    copied += static_cast<std::int64_t>(n);
                }
                if (copied != size)
                    throw std::runtime_error("short copy");
                // FAT (a USB stick) has no POSIX modes and may refuse them; the copy is whole.
                try {
                    out.SetPermissionBits(in.PermissionBits());
                } catch (const tags::TagError &) {
                }
            },
            flush);
    } catch (...) {
        return false;
    }
}

} // namespace

bool CopyAndSync(const QString &from, const QString &to) { return CopyWhole(from, to, true); }

bool CopyUnflushed(const QString &from, const QString &to) { return CopyWhole(from, to, false); }

bool FlushFile(const QString &path) {
    // A read-only file flushes through a reading handle where the system allows it (not Windows).
    for (const auto mode : {tags::fileops::File::Mode::ReadWrite, tags::fileops::File::Mode::Read}) {
        try {
            tags::fileops::File f("album");
            f.Open(platform::FsPath(path), mode);
            f.Sync();
            return true;
        } catch (...) {
        }
    }
    return false;
}

QString PartOf(const QString &path) { return path + QStringLiteral(".neu"); }

bool ReplaceDurably(const QString &path, const QByteArray &bytes, const QString &part) {
    const QString scratch = part.isEmpty() ? PartOf(path) : part;
    QFile::remove(scratch);  // left by an earlier attempt
    const int mode = QFileInfo::exists(path) ? static_cast<int>(QFileInfo(path).permissions()) : 0x6644;
    if (!WriteNewFile(scratch, bytes, mode))
        return false;
    try { // one rename over the old, on the disk when it returns on Windows
        tags::fileops::ReplaceFile("album", platform::FsPath(scratch), platform::FsPath(path));
    } catch (const tags::TagError &) {
        QFile::remove(scratch);
        return false;
    }
    SyncFolderOf(path, true);
    return true;
}

void RemoveWriterLeftovers(const QString &folder) {
    tags::fileops::RecoverFolder(platform::FsPath(folder));
}

void SyncFolderOf(const QString &folderOrFile, bool isFile) {
    const QString dir = isFile ? QFileInfo(folderOrFile).absolutePath() : QDir(folderOrFile).absolutePath();
    tags::fileops::SyncFolder(platform::FsPath(dir));
}

} // namespace album
