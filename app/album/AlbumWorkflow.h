#pragma once
// The small rules of the album run: paths, the track counter, the attribute
// rule, the numbered names. The playlist (AlbumPlaylist.h), the renaming run
// (AlbumRename.h) and the run driver (AlbumRun.h) have headers of their own.

#include <QLocale>
#include <QString>
#include <QStringList>

#include <vector>

namespace album {

// ---- Small rules -----------------------------------------------------------

// Full path of an entry: the folder text followed by the entry text. A folder
// text without a trailing separator gets one, so the result never lands beside
// the folder.
QString EntryPath(const QString &folder, const QString &entry);

// A folder's path as two spellings of one folder compare equal: cleaned (one kind of
// separator, none at the end) and, on Windows, which spells a path in any case, case-folded.
QString ComparablePath(const QString &folder);

// The track counter for the next file: a text that is not a number in the
// locale counts as 1, then one is added and written back in the locale
// without group separators ('5' -> '6', '07' -> '8', 'abc' -> '2', '' -> '2').
QString NextTrackText(const QString &current, const QLocale &locale);

// The track texts of an album run, one per file: the first as `start` stands, the
// others counted on from the one before (NextTrackText). With `discs` (each file's disc
// number, 0 for none; empty: one count for all) the count starts again at `start` with
// the first file of each disc, so that two discs get 1..10 and 1..10.
QStringList CountedTracks(const QString &start, int count, const std::vector<int> &discs, const QLocale &locale);
// For each file, how many files of the list share its disc (the list's length without discs).
std::vector<int> DiscSizes(int count, const std::vector<int> &discs);

// The entry text without its last four characters ('07 Song.mp3' -> '07 Song').
QString TitleFromFileName(const QString &entry);

// Makes a file the user cannot write writable (adds the owner's write
// permission); a writable file keeps its mode. True if the mode was changed.
bool MakeWritable(const QString &path);

// The position as a decimal number of at least three digits ("001", "1000").
QString SequenceNumber(int position1Based);

// The numbered name of the entry at a 1-based position:
//   useExistFile:            n + "- " + presentName
//   tFilename empty:         n + ext
//   otherwise:               n + "- " + tFilename + ext
// ext is the last four characters of presentName, spelled as they are.
QString NumberedName(int position1Based, const QString &presentName, const QString &tFilename, bool useExistFile);

// Longest file name most file systems accept, in bytes.
inline constexpr qsizetype kMaxNameBytes = 255;

// Whether Windows, FAT and exFAT refuse this character in a name: \ / : * ? " < > | and
// control characters.
bool RefusedOnWindows(QChar c);

// A name that addresses a file directly inside the folder: no separator, not
// "." or "..", not empty, not too long for the file system.
bool IsPlainName(const QString &name);

// True if anything at all sits under the path, a dangling link included.
bool Occupied(const QString &path);

} // namespace album
