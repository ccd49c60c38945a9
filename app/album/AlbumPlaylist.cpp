#include "AlbumPlaylist.h"
#include "AlbumWorkflow.h"

#include <QFile>
#include <QRegularExpression>

namespace album {

QByteArray PlaylistBytes(const QStringList &entries) {
    QByteArray data;
    for (const QString &entry : entries) {
        data += QFile::encodeName(entry);
        data += "\r\n";
    }
    return data;
}

QStringList PlaylistNames(const QByteArray &bytes) {
    // Extended playlists are UTF-8 by convention, with or without a byte order mark.
    const bool utf8 = bytes.startsWith("\xEF\xBB\xBF");
    QStringList names;
    for (QByteArray line : bytes.mid(utf8 ? 3 : 0).split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QString entry = utf8 ? QString::fromUtf8(line) : QFile::decodeName(line);
        names << entry.section(QRegularExpression(QStringLiteral("[/\\\\]")), -1);
    }
    return names;
}

} // namespace album
