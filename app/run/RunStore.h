#pragma once
// Where the records of finished runs are kept: in the user's own data folder, not in
// the album, where a player or a car stereo would list them as a folder of the album
// and a USB stick would carry every file's old tags. Each record is a folder named
// by when its run began, so that the names sort by age; the newest kKept stay.

#include <QString>
#include <QStringList>

#include <optional>

namespace album::runstore {

// How many finished runs keep their undo, over all albums.
inline constexpr int kKept = 20;

// The folder that holds the kept records.
QString Dir();

// A new record's name: its time, a random part, then a key of the album's folder, so
// that the records of one folder are found without reading each one.
QString NewId(const QString &folder);
// Whether record `id` is one of `folder`'s runs, from its name; nothing for the names
// of earlier builds, which carry no key.
std::optional<bool> OfFolder(const QString &id, const QString &folder);
// The kept records' folders, newest first.
QStringList Kept();
// The folder of record `id` in the store.
QString PathOf(const QString &id);

// Moves the record's folder `from` into the store as record `id` where both are on one
// volume, flushed there (`moved`); else copies its files, flushed, whole or not at all
// (a copy cut short leaves a folder the next Keep removes).
bool Keep(const QString &from, const QString &id, bool *moved = nullptr);
// Copies the kept record `id` back to `to`, which must be free, whole or not at all.
bool BringBack(const QString &id, const QString &to);
// Removes record `id` from the store, flushed unless the caller flushes the store later
// or a record that comes back does no harm.
void Drop(const QString &id, bool flush = true);
// Drops the oldest records beyond kKept.
void Prune();

} // namespace album::runstore
