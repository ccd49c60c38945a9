#include "TagRegions.h"

#include <QCryptographicHash>

namespace album {

// Length of the ID3v2 tags at the start, and of the zero bytes some writers
// leave behind them: a rewrite of the tag may take those into its padding.
qsizetype HeadLength(const QByteArray &b) {
    qsizetype pos = 0;
    while (b.size() - pos >= 10 && b.mid(pos, 3) == "ID3") {
        qsizetype size = 0;
        for (int i = 6; i < 10; ++i) {
            const auto c = static_cast<unsigned char>(b[pos + i]);
            if (c & 0x80)
                return pos;  // not a synchsafe size: not a tag
            size = (size << 7) | c;
        }
        const bool footer = (static_cast<unsigned char>(b[pos + 5]) & 0x10) != 0;
        pos = qMin(b.size(), pos + 10 + size + (footer ? 10 : 0));
    }
    if (b.size() - pos < 10 && QByteArray("ID3").startsWith(b.mid(pos, 3)) && pos < b.size())
        return b.size();  // a header cut off by the end of these bytes
    while (pos > 0 && pos < b.size() && b[pos] == '\0')
        ++pos;
    return pos;
}

bool HasTail(const QByteArray &last128, qsizetype head, qint64 size) {
    return size - head >= 128 && last128.startsWith("TAG");
}

namespace {

qsizetype TailLength(const QByteArray &b, qsizetype head) { return HasTail(b.right(128), head, b.size()) ? 128 : 0; }

} // namespace

// BLAKE2b: as strong as SHA-256 here and five times as fast in Qt, which
// matters since a run reads every file of the album through it.
QByteArray Digest(const QByteArray &bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Blake2b_256); }

QByteArray ContentDigest(const TagRegions &r) { return Digest(Digest(r.head) + r.middleHash + Digest(r.tail)); }

TagRegions SplitRegions(const QByteArray &file) {
    const qsizetype head = HeadLength(file), tail = TailLength(file, head);
    return {file.left(head), file.right(tail), Digest(file.mid(head, file.size() - head - tail))};
}

std::optional<QByteArray> Rebuild(const TagRegions &old, const QByteArray &current) {
    const qsizetype head = HeadLength(current), tail = TailLength(current, head);
    const QByteArray middle = current.mid(head, current.size() - head - tail);
    if (Digest(middle) == old.middleHash)
        return old.head + middle + old.tail;
    // A tag added where there was none: the old audio ends with what now looks like one.
    const QByteArray withTail = current.mid(head);
    if (Digest(withTail) == old.middleHash)
        return old.head + withTail + old.tail;
    return std::nullopt;
}

} // namespace album
