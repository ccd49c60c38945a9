#pragma once
// A file of the album read through the tag engine's file layer, so that a tag
// write that a kill cut short in the middle of its copy is finished first and
// the file reads whole.

#include "TagRegions.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace album {

// A file's whole content, as the tag engine sees it; empty when it cannot be read.
QByteArray ReadWhole(const QString &path);
// A file's regions, read through the tag engine's file layer; its size too.
std::optional<TagRegions> FileRegions(const QString &path, qint64 *size = nullptr, HashKind kind = HashKind::Xxh3);
// The ContentDigest of a file; empty when it cannot be read.
QByteArray FileHash(const QString &path, HashKind kind = HashKind::Xxh3);
// Whether the file holds the content `hash` was made of, hashed the way it was.
bool FileIs(const QString &path, const QByteArray &hash);
// The ContentDigest of a file that a tag write has just changed, whose audio had this
// length and digest before: only its new tag regions are read. Read whole when its
// size does not fit. With `flushed`, the file is flushed to the disk through the same
// open first, and `flushed` says whether that worked (a file that cannot be opened for
// writing has nothing of the write to flush, and counts as flushed).
QByteArray FileHashAfterTagWrite(const QString &path, qint64 audioLength, const QByteArray &audioDigest,
                                 bool *flushed = nullptr);

} // namespace album
