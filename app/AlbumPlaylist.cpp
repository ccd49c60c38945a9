#include "AlbumWorkflow.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

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

bool WritePlaylist(const QString &folder, const QString &albumText, const QStringList &entries) {
    const QString name = albumText + QStringLiteral(".m3u");
    // An album text such as "AC/DC" must not address a file in another folder.
    if (folder.isEmpty() || !IsPlainName(name))
        return false;

    const QByteArray data = PlaylistBytes(entries);

    // Written beside and renamed over the old playlist, so an interrupted
    // write never leaves a half-written one.
    QSaveFile file(EntryPath(folder, name));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace album
