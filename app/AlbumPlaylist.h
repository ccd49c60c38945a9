#pragma once
// The album's .m3u playlist.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace album {

// Writes folder + albumText + ".m3u": one entry per line, each followed by
// CR LF, names in the file system's encoding. An existing playlist is
// replaced atomically. False (and nothing written) when the name is not a
// plain file name in the folder or the file cannot be written.
bool WritePlaylist(const QString &folder, const QString &albumText, const QStringList &entries);
// The playlist's bytes for these entries, as WritePlaylist writes them.
QByteArray PlaylistBytes(const QStringList &entries);
// The file names a playlist lists, in its order: comment lines left out, a path
// reduced to its last part (entries of another folder's playlist name their files so).
QStringList PlaylistNames(const QByteArray &bytes);

} // namespace album
