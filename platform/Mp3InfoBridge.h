#pragma once
#include "Mp3Info.h"

#include <QString>

// The window's two procedures around the MP3 information record, as plain
// functions: the information reader (texts for the value stores) and the
// ID3v1 writer (rows of the tag panel into the file's ID3v1 tag).
namespace platform {

// What the reader shows: sBitrate, sAnzeige(1) and the short text fields.
struct Mp3InfoTexts {
    QString bitrate;   // sBitrate, kbit/s in decimal
    QString time;      // sAnzeige(1), "hh:mm:ss"
    QString title;     // sTitle
    QString artist;    // sArtist
    QString album;     // sAlbum
    QString year;      // sYear
    QString comment;   // sKommentar
    QString genre;     // sGenre
    QString track;     // sTrack
};

// The texts of a record: trailing spaces of the short fields removed, the time
// as hh:mm:ss with "00:00:-01" shown as "00:00:00".
Mp3InfoTexts FormatMp3Info(const mp3info::Mp3InfoRecord &record);

// Refills the record from the file and formats it. A file that cannot be read or
// holds no audio gives "0" and "00:00:00"; nothing is thrown.
Mp3InfoTexts ReadMp3Information(const QString &path, mp3info::Mp3InfoRecord &record);

// The tag panel rows the ID3v1 writer takes: the check states and texts.
struct Id3v1Rows {
    bool artist = false, album = false, title = false, year = false, comment = false, genre = false;
    QString tArtist, tAlbum, tTitel, tYear, tKommentar, tGenre, tTrack;
};

// Writes the checked rows, the genre (when checked) and the track number into
// the file's ID3v1 tag. The record's tag fields are refilled from this very file
// first, so unchecked fields keep the file's own values; bitrate and time are left
// alone (the stream is not read). False when the file cannot be
// read or written; nothing is thrown.
bool WriteId3v1Rows(const QString &path, const Id3v1Rows &rows, mp3info::Mp3InfoRecord &record);

// The leading number of a text, as a user types it: blanks before it, an
// optional sign, digits and a decimal separator ('.' or the locale's). 0 if none.
double LeadingNumber(const QString &text);

// Rounds to the nearest integer, halves to the even neighbour.
long long RoundHalfEven(double v);

} // namespace platform
