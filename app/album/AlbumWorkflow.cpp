#include "AlbumWorkflow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cmath>

namespace album {

namespace {

bool EndsWithSeparator(const QString &folder) {
    return folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator());
}

} // namespace

QString ComparablePath(const QString &folder) {
    const QString path = QDir::cleanPath(folder);
    return QSysInfo::productType() == QLatin1String("windows") ? path.toCaseFolded() : path;
}

bool RefusedOnWindows(QChar c) { return c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c); }

bool IsPlainName(const QString &name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        return false;
#ifdef Q_OS_WIN
    if (std::any_of(name.begin(), name.end(), RefusedOnWindows))
        return false;
#endif
    return QFile::encodeName(name).size() <= kMaxNameBytes;
}

bool Occupied(const QString &path) {
    const QFileInfo fi(path);
    return fi.exists() || fi.isSymLink();
}

QString EntryPath(const QString &folder, const QString &entry) {
    if (folder.isEmpty() || EndsWithSeparator(folder))
        return folder + entry;
    return folder + QLatin1Char('/') + entry;
}

QString NextTrackText(const QString &current, const QLocale &locale) {
    bool ok = false;
    double value = locale.toDouble(current, &ok);
    if (!ok || !std::isfinite(value))
        value = 1;
    value += 1;

    QLocale out = locale;
    out.setNumberOptions(out.numberOptions() | QLocale::OmitGroupSeparator);
    if (value == std::floor(value) && std::fabs(value) < 1e15)
        return out.toString(static_cast<qlonglong>(value));
    return out.toString(value, 'f', QLocale::FloatingPointShortest);
}

QStringList CountedTracks(const QString &start, int count, const std::vector<int> &discs, const QLocale &locale) {
    QStringList tracks;
    for (int i = 0; i < count; ++i) {
        const bool newDisc = i > 0 && static_cast<int>(discs.size()) == count && discs[static_cast<size_t>(i)] != discs[static_cast<size_t>(i - 1)];
        tracks << (i == 0 || newDisc ? start : NextTrackText(tracks.back(), locale));
    }
    return tracks;
}

std::vector<int> DiscSizes(int count, const std::vector<int> &discs) {
    std::vector<int> sizes(static_cast<size_t>(count), count);
    if (static_cast<int>(discs.size()) != count)
        return sizes;
    for (int i = 0; i < count; ++i)
        sizes[static_cast<size_t>(i)] =
            static_cast<int>(std::count(discs.begin(), discs.end(), discs[static_cast<size_t>(i)]));
    return sizes;
}

QString TitleFromFileName(const QString &entry) {
    return entry.left(qMax<qsizetype>(0, entry.size() - 4));
}

bool MakeWritable(const QString &path) {
    // The owner's write bit stands for the read-only attribute: checking it
    // rather than access() gives the same answer for every user, root included.
    const QFileInfo fi(path);
    if (!fi.exists() || fi.isDir())
        return false;
    // Without the current user's bits, which Qt would map onto the owner's.
    const QFileDevice::Permissions perms = fi.permissions() & QFileDevice::Permissions(0x7077);
    if (perms.testFlag(QFileDevice::WriteOwner))
        return false;
    return QFile::setPermissions(path, perms | QFileDevice::WriteOwner);
}

QString SequenceNumber(int position1Based) {
    return QStringLiteral("%1").arg(position1Based, 3, 10, QLatin1Char('0'));
}

QString NumberedName(int position1Based, const QString &presentName, const QString &tFilename, bool useExistFile) {
    const QString n = SequenceNumber(position1Based);
    if (useExistFile)
        return n + QStringLiteral("- ") + presentName;
    const QString ext = presentName.right(4);
    if (tFilename.isEmpty())
        return n + ext;
    return n + QStringLiteral("- ") + tFilename + ext;
}

} // namespace album
