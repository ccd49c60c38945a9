#pragma once
// The tag panel's reading and writing rules as plain functions: which tag wins
// when the panel is filled, and what a write puts into which tag. Root keeps
// the widgets; these take and give texts.

#include "Mp3InfoBridge.h"

#include <QString>

namespace tags {
class Mp3TagID3v1;
class Mp3TagID3v2;
} // namespace tags

namespace tagpanel {

// What the panel shows for one file (the value stores sArtist ... sTrack and tGenre).
struct Fields {
    QString artist, title, album, year, comment, track, genre;
};

// Reads the file's tags the way the panel shows them. The ID3v2 tag is read
// first; only when its artist is empty do artist, title, album, year, comment
// and genre come from the ID3v1 tag instead (even where that one is empty).
// The track always comes from the ID3v2 tag, as stored ("3", "3/12"). The
// genre is always a name. A tag that cannot be read is skipped: its fields
// stay as they were. Binds the ID3v2 object always, the ID3v1 object only for
// the fallback. Never throws.
Fields ReadFields(const QString &path, tags::Mp3TagID3v2 &v2, tags::Mp3TagID3v1 &v1);

// The genre of an ID3v2 tag as a name: the table's name for its number, else
// its own text, where a bare number ("17", as version 2.4 writes it) is looked
// up too.
QString GenreText(const tags::Mp3TagID3v2 &v2);

// The field rows of the tag page: toggles and texts.
struct Rows {
    bool artist = false, title = false, album = false, year = false, comment = false, track = false, genre = false;
    QString tArtist, tTitel, tAlbum, tYear, tKommentar, tTrack, tGenre;
    // More than 0: the ID3v2 track gets the album's total behind it ("3/12").
    int trackTotal = 0;
};

// The ID3v2 track with the album's total behind it: "3" of 12 files gives "3/12";
// a total already given is replaced ("3/10" -> "3/12"); a text that is no number
// (an empty one too) stays as it is.
QString TrackWithTotal(const QString &track, int total);

// Writes the checked rows into the file: ID3v1 first (artist, title, album,
// year, comment), then ID3v2 (the same and the track, with the total if asked). The genre is not
// written here. Unchecked fields keep what the file held. Throws the tag
// classes' error; an ID3v1 failure leaves the ID3v2 tag untouched.
void WriteFields(const QString &path, const Rows &rows, tags::Mp3TagID3v1 &v1, tags::Mp3TagID3v2 &v2);

// The rows as the stream-information ID3v1 writer takes them (its track is
// always taken, whatever the track toggle says).
platform::Id3v1Rows ToId3v1Rows(const Rows &rows);

// The album list's tip: "Artist: a" LF CR "Album: b" LF CR "Titel: c" LF CR "Track: d".
QString Summary(const QString &artist, const QString &album, const QString &title, const QString &track);

} // namespace tagpanel
