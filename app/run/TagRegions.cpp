#include "TagRegions.h"

#include <QCryptographicHash>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace album {

// Length of the ID3v2 tags at the start, and of the zero bytes some writers
// leave behind them: a rewrite of the tag may take those into its padding.
// When the head may go on beyond these bytes, `wanted` says how many to read.
qsizetype HeadLength(const QByteArray &b, qint64 *wanted) {
    constexpr qint64 kPeek = 4096;  // beyond a tag's end: the next header or the padding's end
    qint64 pos = 0;
    if (wanted)
        *wanted = 0;
    while (b.size() - pos >= 10 && b.mid(pos, 3) == "ID3") {
        qint64 size = 0;
        for (int i = 6; i < 10; ++i) {
            const auto c = static_cast<unsigned char>(b[pos + i]);
            if (c & 0x80)
                return pos;  // not a synchsafe size: not a tag
            size = (size << 7) | c;
        }
        const bool footer = (static_cast<unsigned char>(b[pos + 5]) & 0x10) != 0;
        pos += 10 + size + (footer ? 10 : 0);
        if (pos >= b.size()) {
            if (wanted)
                *wanted = pos + kPeek;
            return b.size();
        }
    }
    if (b.size() - pos < 10 && pos < b.size() && QByteArray("ID3").startsWith(b.mid(pos, 3))) {
        if (wanted)
            *wanted = pos + kPeek;
        return b.size();  // a header cut off by the end of these bytes
    }
    while (pos > 0 && pos < b.size() && b[pos] == '\0')
        ++pos;
    if (pos == b.size() && wanted)
        *wanted = 2 * pos;  // zeros up to the end: how many more is not known
    return pos;
}

bool HasTail(const QByteArray &last128, qsizetype head, qint64 size) {
    return size - head >= 128 && last128.startsWith("TAG");
}

namespace {

qsizetype TailLength(const QByteArray &b, qsizetype head) { return HasTail(b.right(128), head, b.size()) ? 128 : 0; }

} // namespace

HashKind KindOf(const QByteArray &digest) { return digest.size() == 32 ? HashKind::Blake2b : HashKind::Xxh3; }

namespace {

// One digest made of pieces, of either kind.
class Hasher {
public:
    explicit Hasher(HashKind kind) {
        if (kind == HashKind::Blake2b)
            blake_.emplace(QCryptographicHash::Blake2b_256);
        XXH3_128bits_reset(&xxh_);
    }
    void Add(const QByteArray &bytes) {
        if (blake_)
            blake_->addData(bytes);
        else
            XXH3_128bits_update(&xxh_, bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    QByteArray Result() {
        if (blake_)
            return blake_->result();
        XXH128_canonical_t c;
        XXH128_canonicalFromHash(&c, XXH3_128bits_digest(&xxh_));
        return QByteArray(reinterpret_cast<const char *>(c.digest), sizeof c.digest);
    }

private:
    std::optional<QCryptographicHash> blake_;
    XXH3_state_t xxh_;
};

} // namespace

QByteArray Digest(const QByteArray &bytes, HashKind kind) {
    Hasher h(kind);
    h.Add(bytes);
    return h.Result();
}

QByteArray ContentDigest(const TagRegions &r) {
    const HashKind kind = KindOf(r.middleHash);
    return Digest(Digest(r.head, kind) + r.middleHash + Digest(r.tail, kind), kind);
}

bool IsContent(const QByteArray &bytes, const QByteArray &hash) {
    return ContentDigest(SplitRegions(bytes, KindOf(hash))) == hash;
}

QByteArray AudioDigest(qint64 from, qint64 length, const ReadFn &read, HashKind kind) {
    // The older records' digests read up to four times as much of each file.
    const bool older = kind == HashKind::Blake2b;
    const qint64 kWhole = older ? 1 << 20 : 128 * 1024, kEnd = older ? 256 * 1024 : 32 * 1024;
    const qint64 kBlock = older ? 4096 : 8 * 1024, kSamples = older ? 32 : 8;
    Hasher h(kind);
    h.Add(QByteArray::number(length));
    if (length <= kWhole) {
        h.Add(read(from, length));
        return h.Result();
    }
    h.Add(read(from, kEnd));
    for (qint64 k = 1; k <= kSamples; ++k)
        h.Add(read(from + (length - kBlock) * k / (kSamples + 1), kBlock));
    h.Add(read(from + length - kEnd, kEnd));
    return h.Result();
}

namespace {

// Head and tail; the middle's digest left empty.
std::optional<TagRegions> ReadEdges(qint64 size, const ReadFn &read) {
    QByteArray start;
    qsizetype head = 0;
    // Only what the last read did not bring, and as far as the tag's own size says: a
    // cover makes many heads longer than the first read.
    for (qint64 n = 64 * 1024;;) {
        start += read(start.size(), qMin(n, size) - start.size());
        if (start.size() != qMin(n, size))
            return std::nullopt;
        qint64 wanted = 0;
        head = HeadLength(start, &wanted);
        if (head < start.size() || start.size() >= size)
            break;
        n = qMax(wanted, n + 4096);
    }
    const QByteArray last = size >= 128 ? read(size - 128, 128) : QByteArray();
    const qsizetype tail = HasTail(last, head, size) ? 128 : 0;
    return TagRegions{start.left(head), tail ? last : QByteArray(), {}};
}

} // namespace

std::optional<TagRegions> ReadRegions(qint64 size, const ReadFn &read, HashKind kind) {
    std::optional<TagRegions> r = ReadEdges(size, read);
    if (r)
        r->middleHash = AudioDigest(r->head.size(), size - r->head.size() - r->tail.size(), read, kind);
    return r;
}

std::optional<TagRegions> ReadRegionsAround(qint64 size, const ReadFn &read, qint64 audioLength,
                                            const QByteArray &audioDigest) {
    std::optional<TagRegions> r = ReadEdges(size, read);
    if (!r || size - r->head.size() - r->tail.size() != audioLength)
        return std::nullopt;
    r->middleHash = audioDigest;
    return r;
}

TagRegions SplitRegions(const QByteArray &file, HashKind kind) {
    const ReadFn read = [&](qint64 pos, qint64 n) { return file.mid(pos, n); };
    return *ReadRegions(file.size(), read, kind);
}

std::optional<QByteArray> Rebuild(const TagRegions &old, const QByteArray &current) {
    const ReadFn read = [&](qint64 pos, qint64 n) { return current.mid(pos, n); };
    const qsizetype head = HeadLength(current), tail = TailLength(current, head);
    const HashKind kind = KindOf(old.middleHash);
    if (AudioDigest(head, current.size() - head - tail, read, kind) == old.middleHash)
        return old.head + current.mid(head, current.size() - head - tail) + old.tail;
    // A tag added where there was none: the old audio ends with what now looks like one.
    if (AudioDigest(head, current.size() - head, read, kind) == old.middleHash)
        return old.head + current.mid(head) + old.tail;
    return std::nullopt;
}

} // namespace album
