#include "AlbumFile.h"

#include "FileOps.h"
#include "FileUtils.h"

namespace album {

QByteArray ReadWhole(const QString &path) {
    try {
        tags::fileops::File f("album");
        f.Open(platform::FsPath(path), tags::fileops::File::Mode::Read);
        QByteArray bytes(static_cast<qsizetype>(f.Size()), Qt::Uninitialized);
        f.Seek(0);
        bytes.resize(static_cast<qsizetype>(f.ReadFull(bytes.data(), static_cast<size_t>(bytes.size()))));
        return bytes;
    } catch (...) {
        return {};
    }
}

std::optional<TagRegions> FileRegions(const QString &path, qint64 *size) {
    try {
        tags::fileops::File f("album");
        f.Open(platform::FsPath(path), tags::fileops::File::Mode::Read);
        const qint64 length = f.Size();
        if (size)
            *size = length;
        return ReadRegions(length, [&](qint64 pos, qint64 n) {
            QByteArray b(static_cast<qsizetype>(qMax<qint64>(0, n)), Qt::Uninitialized);
            b.resize(static_cast<qsizetype>(f.ReadAt(pos, b.data(), static_cast<size_t>(b.size()))));
            return b;
        });
    } catch (...) {
        return std::nullopt;
    }
}

QByteArray FileHash(const QString &path) {
    const std::optional<TagRegions> r = FileRegions(path);
    return r ? ContentDigest(*r) : QByteArray();
}

} // namespace album
