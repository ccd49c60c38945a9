#include "AlbumList.h"

#include <QCollator>
#include <QDir>
#include <algorithm>

namespace album {

QStringList ListMp3Files(const QString &folder) {
    if (folder.isEmpty())
        return {};
    QDir dir(QDir::fromNativeSeparators(folder));
    // Name filters ignore case unless told otherwise, so "*.mp3" also finds ".MP3".
    QStringList names = dir.entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Unsorted);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&](const QString &a, const QString &b) {
        const int c = collator.compare(a, b);
        return c != 0 ? c < 0 : a < b; // equal ignoring case: a fixed order all the same
    });
    return names;
}

} // namespace album
