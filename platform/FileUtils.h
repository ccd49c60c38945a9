#pragma once
// Existence tests and moving files to the trash. None of these shows a
// message of its own or throws; failures come back as an empty text or false.
#include <QString>
#include <QStringList>

#include <string>

namespace platform {

// The picker's root: the computer's drive list.
inline constexpr int kDrivesFolder = 17;

// True if the path names an existing file or folder (a trailing separator is fine).
bool PathExists(const QString &path);

// True if at least one file or folder matches the path; the last part may hold wildcards.
bool FileExists(const QString &pattern);

// Deletes the files; with recycle they go to the system's trash (MoveToTrash) without a question,
// without it they are removed for good. True if every file went. `aborted`, when given,
// tells whether any file was left behind.
bool RecycleFiles(const QStringList &files, bool recycle = true, bool *aborted = nullptr);
bool RecycleFiles(const QString &file, bool recycle = true, bool *aborted = nullptr);

// Gives a file a new name that must be free: never replaces a file (QFile::rename; on
// Linux the kernel's no-replace rename), and on Windows returns only once the rename is
// on the disk (MOVEFILE_WRITE_THROUGH), as the folder flush does on Linux.
bool RenameFile(const QString &from, const QString &to);

// Hides a file or folder where the file system keeps a hidden attribute (Windows,
// FAT, exFAT); elsewhere a leading dot does. False when the attribute could not be set.
bool HideEntry(const QString &path);

// Flushes everything written to the file system that holds `folder` (Linux: syncfs, on the
// kernel's own local file systems). False where that is not sure to reach the device
// (Windows, FUSE, network file systems) or it failed: then flush file by file.
bool SyncFileSystemOf(const QString &folder);

// A path as the tag engine and its file layer take it: in the file system's encoding.
std::string FsPath(const QString &path);

} // namespace platform
