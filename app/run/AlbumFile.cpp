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

namespace {

// Reads the regions of an open file through `regions`.
// With `flushed`, the file is opened for writing where it can be and flushed first.
template <typename Regions>
std::optional<TagRegions> OpenRegions(const QString &path, qint64 *size, Regions &&regions, bool *flushed = nullptr) {
    try {
        tags::fileops::File f("album");
        bool writable = false;
        if (flushed) {
            try {
                f.Open(platform::FsPath(path), tags::fileops::File::Mode::ReadWrite);
                writable = true;
            } catch (...) {
            }
        }
        if (!writable)
            f.Open(platform::FsPath(path), tags::fileops::File::Mode::Read);
        if (writable) {
            try {
                f.Sync();
            } catch (...) {
                *flushed = false;
            }
        }
        const qint64 length = f.Size();
        if (size)
            *size = length;
        return regions(length, [&](qint64 pos, qint64 n) {
            QByteArray b(static_cast<qsizetype>(qMax<qint64>(0, n)), Qt::Uninitialized);
            b.resize(static_cast<qsizetype>(f.ReadAt(pos, b.data(), static_cast<size_t>(b.size()))));
            return b;
        });
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace

std::optional<TagRegions> FileRegions(const QString &path, qint64 *size, HashKind kind) {
    return OpenRegions(path, size, [kind](qint64 length, const ReadFn &read) { return ReadRegions(length, read, kind); });
}

QByteArray FileHash(const QString &path, HashKind kind) {
    const std::optional<TagRegions> r = FileRegions(path, nullptr, kind);
    return r ? ContentDigest(*r) : QByteArray();
}

bool FileIs(const QString &path, const QByteArray &hash) { return FileHash(path, KindOf(hash)) == hash; }

QByteArray FileHashAfterTagWrite(const QString &path, qint64 audioLength, const QByteArray &audioDigest,
                                 bool *flushed) {
    bool synced = true;
    const std::optional<TagRegions> r = OpenRegions(
        path, nullptr,
        [&](qint64 size, const ReadFn &read) { return ReadRegionsAround(size, read, audioLength, audioDigest); },
        flushed ? &synced : nullptr);
    if (flushed)
        *flushed = synced;
    return r ? ContentDigest(*r) : FileHash(path, KindOf(audioDigest));
}

} // namespace album
