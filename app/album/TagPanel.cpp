#include "TagPanel.h"

#include "AlbumSort.h"

#include "FieldWrite.h"
#include "FileOps.h"
#include "FileUtils.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"


namespace tagpanel {

namespace {

QString Q(const std::string &utf8) { return QString::fromStdString(utf8); }
std::string S(const QString &text) { return text.toStdString(); }

} // namespace

QString GenreText(const tags::Mp3TagID3v2 &v2) {
    const QString byNumber = Q(v2.GenreName(v2.Genre()));
    if (!byNumber.isEmpty())
        return byNumber;
    const QString own = Q(v2.OtherGenreName()).trimmed();
    bool isNumber = false;
    const int n = own.toInt(&isNumber);
    if (isNumber && n >= 0 && n <= 255)
        return Q(v2.GenreName(static_cast<std::uint8_t>(n)));
    return own;
}

Fields ReadFields(const QString &path, tags::Mp3TagID3v2 &v2, tags::Mp3TagID3v1 &v1) {
    Fields f;
    // Both tags through one open of the file.
    tags::fileops::File file(tags::Mp3TagID3v2::Source());
    try {
        file.Open(platform::FsPath(path), tags::fileops::File::Mode::Read);
        v2.ReadFrom(file);
        f.artist = Q(v2.Artist());
        f.title = Q(v2.Title());
        f.album = Q(v2.Album());
        f.genre = GenreText(v2);
        f.year = Q(v2.Year());
        f.comment = Q(v2.Comment());
        f.track = Q(v2.Track());
    } catch (...) {
    }
    if (!f.artist.isEmpty() || !file.IsOpen())
        return f;
    try {
        v1.ReadFrom(file);
        f.artist = Q(v1.Artist());
        f.title = Q(v1.Title());
        f.album = Q(v1.Album());
        f.genre = Q(v1.GenreName(v1.Genre()));
        f.year = Q(v1.Year());
        f.comment = Q(v1.Comment());
    } catch (...) {
    }
    return f;
}

QString TrackWithTotal(const QString &track, int total) {
    // Only a number gets a total; other texts go as they are, like the counter takes them.
    if (!album::ParsePartOf(track) || total <= 0)
        return track;
    return track.section(QLatin1Char('/'), 0, 0).trimmed() + QLatin1Char('/') + QString::number(total);
}

void WriteFields(const QString &path, const Rows &rows, tags::Mp3TagID3v1 &v1, tags::Mp3TagID3v2 &v2) {
    auto checked = [](bool on, const QString &text) { return on ? std::optional<std::string>(S(text)) : std::nullopt; };
    tags::FieldValues values;
    values.artist = checked(rows.artist, rows.tArtist);
    values.title = checked(rows.title, rows.tTitel);
    values.album = checked(rows.album, rows.tAlbum);
    values.year = checked(rows.year, rows.tYear);
    values.comment = checked(rows.comment, rows.tKommentar);
    values.track = checked(rows.track, rows.trackTotal > 0 ? TrackWithTotal(rows.tTrack, rows.trackTotal) : rows.tTrack);
    tags::WriteFields(platform::FsPath(path), values, v1, v2);
}

platform::Id3v1Rows ToId3v1Rows(const Rows &rows) {
    platform::Id3v1Rows r;
    r.artist = rows.artist;
    r.album = rows.album;
    r.title = rows.title;
    r.year = rows.year;
    r.comment = rows.comment;
    r.genre = rows.genre;
    r.tArtist = rows.tArtist;
    r.tAlbum = rows.tAlbum;
    r.tTitel = rows.tTitel;
    r.tYear = rows.tYear;
    r.tKommentar = rows.tKommentar;
    r.tGenre = rows.tGenre;
    r.tTrack = rows.tTrack;
    return r;
}

QString Summary(const QString &artist, const QString &album, const QString &title, const QString &track) {
    const QString sep = QStringLiteral("\n\r");
    return QStringLiteral("Artist: ") + artist + sep + QStringLiteral("Album: ") + album + sep + QStringLiteral("Titel: ") +
           title + sep + QStringLiteral("Track: ") + track;
}

} // namespace tagpanel
