#include "TagRegions.h"

#include <QCryptographicHash>

namespace album {

namespace {

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
    while (pos > 0 && pos < b.size() && b[pos] == '\0')
        ++pos;
    return pos;
}

qsizetype TailLength(const QByteArray &b, qsizetype head) {
    return b.size() - head >= 128 && b.mid(b.size() - 128, 3) == "TAG" ? 128 : 0;
}

} // namespace

QByteArray Sha256(const QByteArray &bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256); }

TagRegions SplitRegions(const QByteArray &file) {
    const qsizetype head = HeadLength(file), tail = TailLength(file, head);
    return {file.left(head), file.right(tail), Sha256(file.mid(head, file.size() - head - tail))};
}

std::optional<QByteArray> Rebuild(const TagRegions &old, const QByteArray &current) {
    const qsizetype head = HeadLength(current), tail = TailLength(current, head);
    const QByteArray middle = current.mid(head, current.size() - head - tail);
    if (Sha256(middle) == old.middleHash)
        return old.head + middle + old.tail;
    // A tag added where there was none: the old audio ends with what now looks like one.
    const QByteArray withTail = current.mid(head);
    if (Sha256(withTail) == old.middleHash)
        return old.head + withTail + old.tail;
    return std::nullopt;
}

} // namespace album
