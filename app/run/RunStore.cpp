#include "RunStore.h"

#include "AlbumWorkflow.h"
#include "DurableFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QRandomGenerator>
#include <QStandardPaths>

namespace album::runstore {

namespace {

// Copies every file of `from` into the new folder `to` through its part, flushed, and
// renames that into place.
bool CopyFolder(const QString &from, const QString &to) {
    const QString part = PartOf(to);
    QDir(part).removeRecursively();  // left by a copy cut short
    if (!QDir().mkpath(part))
        return false;
    const QDir source(from);
    for (const QString &name : source.entryList(QDir::Files | QDir::Hidden)) {
        if (!CopyAndSync(source.filePath(name), part + QLatin1Char('/') + name)) {
            QDir(part).removeRecursively();
            return false;
        }
    }
    SyncFolderOf(part);
    if (!QDir().rename(part, to)) {
        QDir(part).removeRecursively();
        return false;
    }
    SyncFolderOf(to, true);
    return true;
}

} // namespace

QString Dir() { return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/laeufe"); }

namespace {

// The first 8 bytes of the SHA-1 of the folder's path, in hex: equal for the spellings
// the record's reader takes for one folder (RunJournal::SameAlbum).
QString FolderKey(const QString &folder) {
    const QByteArray path = ComparablePath(folder).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha1).left(8).toHex());
}

} // namespace

QString NewId(const QString &folder) {
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz-")) +
           QString::number(QRandomGenerator::global()->generate(), 16) + QLatin1Char('-') + FolderKey(folder);
}

std::optional<bool> OfFolder(const QString &id, const QString &folder) {
    const QStringList parts = id.split(QLatin1Char('-'));
    if (parts.size() != 5)
        return std::nullopt;
    return parts.last() == FolderKey(folder);
}

QStringList Kept() {
    // Hidden too: a record moved from the album keeps the attribute it had there.
    QStringList ids = QDir(Dir()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
    ids.removeIf([](const QString &id) { return id.endsWith(PartOf(QString())); });
    QStringList paths;
    for (const QString &id : ids)
        paths << PathOf(id);
    return paths;
}

QString PathOf(const QString &id) { return Dir() + QLatin1Char('/') + id; }

bool Keep(const QString &from, const QString &id, bool *moved) {
    if (moved)
        *moved = false;
    if (id.isEmpty() || !QDir().mkpath(Dir()))
        return false;
    QDir(PathOf(id)).removeRecursively();  // a copy whose record stayed in the album
    // On the album's own volume the record moves in one step; elsewhere it is copied.
    if (QDir().rename(from, PathOf(id))) {
        SyncFolderOf(Dir());
        if (moved)
            *moved = true;
        return true;
    }
    return CopyFolder(from, PathOf(id));
}

bool BringBack(const QString &id, const QString &to) {
    return !id.isEmpty() && !QFileInfo::exists(to) && CopyFolder(PathOf(id), to);
}

void Drop(const QString &id, bool flush) {
    if (!id.isEmpty() && QDir(PathOf(id)).removeRecursively() && flush)
        SyncFolderOf(Dir());
}

void Prune() {
    const QStringList kept = Kept();
    for (qsizetype i = kKept; i < kept.size(); ++i)
        QDir(kept[i]).removeRecursively();
    // What copies cut short left.
    for (const QString &id : QDir(Dir()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        if (id.endsWith(PartOf(QString())))
            QDir(PathOf(id)).removeRecursively();
}

} // namespace album::runstore
