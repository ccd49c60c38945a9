#include "FileUtils.h"

#include "FileOps.h"

#include "Trash.h"

#include <QFile>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>
#endif

namespace platform {

bool PathExists(const QString &path) {
    if (path.isEmpty())
        return false;
    return QFileInfo::exists(QDir::fromNativeSeparators(path));
}

bool FileExists(const QString &pattern) {
    if (pattern.isEmpty())
        return false;
    const QFileInfo info(QDir::fromNativeSeparators(pattern));
    const QString name = info.fileName();
    if (name.isEmpty())
        return false;
    if (!name.contains(QLatin1Char('*')) && !name.contains(QLatin1Char('?')))
        return info.exists();
    const QDir dir = info.dir();
    return !dir.entryList({name}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).isEmpty();
}

bool RecycleFiles(const QStringList &files, bool recycle, bool *aborted) {
    bool all = true;
    for (const QString &f : files) {
        if (f.isEmpty())
            continue;
        const QString path = QDir::fromNativeSeparators(f);
        const bool ok = recycle ? MoveToTrash(path).ok : QFile::remove(path);
        all = all && ok;
    }
    if (aborted)
        *aborted = !all;
    return all;
}

bool RecycleFiles(const QString &file, bool recycle, bool *aborted) {
    return RecycleFiles(QStringList{file}, recycle, aborted);
}

bool RenameFile(const QString &from, const QString &to) {
#ifdef Q_OS_WIN
    return MoveFileExW(tags::fileops::WidePath(FsPath(from)).c_str(), tags::fileops::WidePath(FsPath(to)).c_str(),
                       MOVEFILE_WRITE_THROUGH);
#else
    return QFile::rename(from, to);
#endif
}

bool HideEntry(const QString &path) {
#ifdef Q_OS_WIN
    const std::wstring wide = tags::fileops::WidePath(FsPath(path));
    const DWORD now = GetFileAttributesW(wide.c_str());
    return now != INVALID_FILE_ATTRIBUTES && SetFileAttributesW(wide.c_str(), now | FILE_ATTRIBUTE_HIDDEN);
#else
    // FAT and exFAT on Linux take the attribute through their own ioctl; others ignore it.
    const int fd = ::open(FsPath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    __u32 attributes = 0;
    bool ok = true;
    if (ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attributes) == 0) {
        attributes |= ATTR_HIDDEN;
        ok = ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &attributes) == 0;
    }
    ::close(fd);
    return ok;
#endif
}

bool SyncFileSystemOf(const QString &folder) {
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return false;  // a volume's flush needs an administrator's handle
#else
    // Only file systems of the kernel's own that write to the device themselves: FUSE
    // (ntfs-3g, exfat-fuse) and network file systems take a syncfs without passing the
    // flush on, and get a flush per file.
    static constexpr unsigned long kLocal[] = {0xEF53 /* ext2-4 */, 0x58465342 /* xfs */, 0x9123683E /* btrfs */,
                                               0x4D44 /* vfat */, 0x2011BAB0 /* exfat */, 0xF2F52010 /* f2fs */,
                                               0x7366746E /* ntfs3 */};
    const int fd = ::open(FsPath(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct statfs fs{};
    const bool local = ::fstatfs(fd, &fs) == 0 &&
                       std::find(std::begin(kLocal), std::end(kLocal), static_cast<unsigned long>(fs.f_type)) != std::end(kLocal);
    const bool ok = local && ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

std::string FsPath(const QString &path) {
#ifdef Q_OS_WIN
    return path.toUtf8().toStdString(); // the file layer turns UTF-8 into UTF-16 itself
#else
    return QFile::encodeName(path).toStdString();
#endif
}

} // namespace platform
