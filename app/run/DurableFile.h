#pragma once
// Small file steps of the album run that must reach the disk before the next
// step counts on them.

#include <QByteArray>
#include <QString>

namespace album {

// Writes a new file under `path` (which must be free) and flushes it; false
// (and nothing left) when that fails.
bool WriteNewFile(const QString &path, const QByteArray &bytes, int mode = 0);
// Copies a file to a new one (which must be free) with its permission bits and
// flushes the copy; false (and no copy left) when that fails or the copy is short.
bool CopyAndSync(const QString &from, const QString &to);
// The same without the flush: the caller flushes the copy (FlushFile) or its whole
// file system before anything counts on it.
bool CopyUnflushed(const QString &from, const QString &to);
// Flushes a file to the disk; false when that fails.
bool FlushFile(const QString &path);
// The name a file is written under before it is renamed into place.
QString PartOf(const QString &path);
// Puts bytes under `path`, replacing what is there in one rename: written first to
// `part` (PartOf(path) unless given: a name on the same file system, where a crash may
// leave it) and flushed, then renamed over the old and the folder flushed. The one way
// the album's files and the record are replaced.
bool ReplaceDurably(const QString &path, const QByteArray &bytes, const QString &part = {});
// Looks again for what writers and trashers that no longer run left in the folder
// (the tag engine itself looks only once per folder and process).
void RemoveWriterLeftovers(const QString &folder);
// Flushes the folder's entries.
void SyncFolderOf(const QString &folderOrFile, bool isFile = false);

} // namespace album
