#include "Mp3InfoBridge.h"

#include "FileUtils.h"

#include "id3v1/Genres.h"

#include <QLocale>

#include <cmath>

namespace platform {

namespace {

QString Text(const std::string &utf8) { return QString::fromStdString(utf8); }

// Trailing spaces only; other blanks stay.
QString TrimSpaces(const std::string &utf8) {
    QString s = Text(utf8);
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ') --n;
    s.truncate(n);
    return s;
}

// Genre number for the ID3v1 byte: a number (rounded, out of range = none),
// a name from the genre table, or none for an empty text. Anything else keeps `current`.
std::int16_t GenreNumber(const QString &text, std::int16_t current) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return 255;
    if (t.at(0).isDigit() || t.at(0) == u'-' || t.at(0) == u'+') {
        const long long n = RoundHalfEven(LeadingNumber(t));
        return n >= 0 && n <= 255 ? static_cast<std::int16_t>(n) : 255;
    }
    for (int g = 0; g < 256; ++g) {
        const QString name = Text(tags::GenreTableName(static_cast<std::uint8_t>(g)));
        if (!name.isEmpty() && name.compare(t, Qt::CaseInsensitive) == 0) return static_cast<std::int16_t>(g);
    }
    return current;
}

} // namespace

double LeadingNumber(const QString &text) {
    const QString point = QLocale().decimalPoint();
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace()) ++i;
    QString number;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) number += text.at(i++);
    bool digits = false, fraction = false;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c >= u'0' && c <= u'9') {
            number += c;
            digits = true;
        } else if (!fraction && (c == u'.' || text.mid(i, point.size()) == point)) {
            number += u'.';
            fraction = true;
            i += c == u'.' ? 0 : point.size() - 1;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    bool ok = false;
    const double v = number.toDouble(&ok); // C locale: '.' was put in above
    return ok ? v : 0;
}

long long RoundHalfEven(double v) {
    if (!std::isfinite(v)) return 0;
    return static_cast<long long>(std::nearbyint(v)); // default rounding mode: to nearest, ties to even
}

Mp3InfoTexts ReadMp3Information(const QString &path, mp3info::Mp3InfoRecord &record) {
    mp3info::Mp3FileInfo(FsPath(path), record);
    return FormatMp3Info(record);
}

Mp3InfoTexts FormatMp3Info(const mp3info::Mp3InfoRecord &record) {
    Mp3InfoTexts out;
    out.bitrate = QString::number(record.bitrate);
    out.title = TrimSpaces(record.title);
    out.artist = TrimSpaces(record.artist);
    out.album = TrimSpaces(record.album);
    out.year = TrimSpaces(record.year);
    out.comment = TrimSpaces(record.comment);
    out.genre = TrimSpaces(record.genreName);
    out.track = QString::number(record.track);
    out.time = Text(mp3info::PlayingTimeText(record.seconds));
    if (out.time == QLatin1String("00:00:-01")) out.time = QStringLiteral("00:00:00");
    return out;
}

bool WriteId3v1Rows(const QString &path, const Id3v1Rows &rows, mp3info::Mp3InfoRecord &record) {
    using R = mp3info::Mp3InfoRecord;
    const std::string file = FsPath(path);
    // Whatever tag fields the record held belong to the file read last; start from
    // this one's. Its stream is not needed here, so it is not read.
    if (!mp3info::Mp3TagFields(file, record)) return false;

    auto put = [](bool checked, const QString &text, std::string &shortSlot, std::size_t width,
                  std::string &longSlot, std::size_t longWidth) {
        if (!checked) return;
        shortSlot = R::Slot(text.toStdString(), width);
        longSlot = R::LongSlot(text.toStdString(), longWidth);
    };
    put(rows.artist, rows.tArtist, record.artist, R::kShort, record.artistText, R::kLong);
    put(rows.album, rows.tAlbum, record.album, R::kShort, record.albumText, R::kLong);
    put(rows.title, rows.tTitel, record.title, R::kShort, record.titleText, R::kLong);
    put(rows.year, rows.tYear, record.year, R::kYear, record.yearText, R::kLong);
    put(rows.comment, rows.tKommentar, record.comment, R::kShort, record.commentText, R::kLongComment);

    if (rows.genre) {
        record.genre = GenreNumber(rows.tGenre, record.genre);
        record.genreText = R::LongSlot(rows.tGenre.toStdString(), R::kLong);
    }

    // The track goes in whatever the boxes say.
    const double v = LeadingNumber(rows.tTrack);
    if (v > 0) {
        record.trackGiven = record.trackGiven2 = 2;
        const long long n = RoundHalfEven(v);
        record.track = static_cast<std::int16_t>(std::min<long long>(n, 32767));
    } else {
        record.trackGiven = record.trackGiven2 = 1;
        record.track = 0;
    }
    record.trackText = QString::number(v).toStdString();

    return mp3info::WriteID3V1(file, record);
}

} // namespace platform
