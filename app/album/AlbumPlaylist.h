#pragma once
// The album's .m3u playlist.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace album {

// The playlist's bytes for these entries: one entry per line, each followed by CR LF,
// names in the file system's encoding. The run writes them under the album's name.
QByteArray PlaylistBytes(const QStringList &entries);
// The file names a playlist lists, in its order: comment lines left out, a path
// reduced to its last part (entries of another folder's playlist name their files so).
QStringList PlaylistNames(const QByteArray &bytes);

} // namespace album
