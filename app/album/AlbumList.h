#pragma once
// The album's files as the list shows them: which are listed, which are too short.
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace album {

// Files of this size or smaller are no MP3 files worth listing.
inline constexpr qint64 kMinimumFileSize = 50;

// Names of the files (not folders) matching "*.mp3" in any case, in ascending name
// order without regard to case. The folder is read once; no file is opened.
QStringList ListMp3Files(const QString &folder);

inline bool IsTooShort(qint64 size) { return size <= kMinimumFileSize; }

} // namespace album
