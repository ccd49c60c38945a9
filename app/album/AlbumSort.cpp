#include "AlbumSort.h"

#include "AlbumWorkflow.h"
#include "FileOps.h"
#include "FileUtils.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/FrameBody.h"
#include "id3v2/FrameWalk.h"
#include "id3v2/Mp3TagID3v2.h"

#include <QCollator>
#include <QLocale>
#include <QMetaObject>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <functional>
#include <string_view>

namespace album {

std::optional<PartOf> ParsePartOf(const QString &text) {
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d+)\\s*(?:/\\s*(\\d+))?"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int number = m.captured(1).toInt();
    if (number <= 0)
        return std::nullopt;
    return PartOf{number, m.captured(2).toInt()};
}

QCollator NaturalCollator() {
    // The "C" locale compares code units and knows no numbers; the interface is German.
    const QLocale locale = QLocale().language() == QLocale::C ? QLocale(QLocale::German, QLocale::Germany) : QLocale();
    QCollator c(locale);
    c.setNumericMode(true);
    c.setCaseSensitivity(Qt::CaseInsensitive);
    return c;
}

namespace {

// Natural order, then the plain texts, so that equal names still have a fixed order.
bool NameLess(const QCollator &c, const QString &a, const QString &b) {
    const int r = c.compare(a, b);
    return r != 0 ? r < 0 : a < b;
}

QStringList Names(const std::vector<SortKey> &keys) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(keys.size()));
    for (const SortKey &k : keys)
        out << k.name;
    return out;
}

// The disc number of a TPOS frame: the engine keeps no field for it, so it is taken
// from the frame as the engine would write it (2.2 and 2.4 tags arrive as 2.3).
int DiscOf(const tags::Mp3TagID3v2 &v2) {
    if (v2.TagsInFrame("TPOS") == 0)
        return 0;
    const std::string tag = v2.RenderTag(0);
    const std::string_view body = std::string_view(tag).substr(10);
    const size_t head = tags::id3v2::FrameHeaderLength(3);
    for (const tags::id3v2::FrameSpan &s : tags::id3v2::WalkFrames(body, 3).frames) {
        if (body.substr(s.pos, 4) != "TPOS")
            continue;
        const std::string text = tags::id3v2::FieldText("TPOS", body.substr(s.pos + head, s.size));
        if (const auto part = ParsePartOf(QString::fromStdString(text)))
            return part->number;
    }
    return 0;
}

} // namespace

QStringList SortedByName(const QStringList &names) {
    QStringList out = names;
    const QCollator c = NaturalCollator();
    std::sort(out.begin(), out.end(), [&](const QString &a, const QString &b) { return NameLess(c, a, b); });
    return out;
}

QStringList Sorted(SortOrder order, const std::vector<SortKey> &keys) {
    if (order == SortOrder::Name)
        return SortedByName(Names(keys));
    std::vector<SortKey> k = keys;
    const QCollator c = NaturalCollator();
    auto byName = [&](const SortKey &a, const SortKey &b) { return NameLess(c, a.name, b.name); };
    std::function<bool(const SortKey &, const SortKey &)> less;
    if (order == SortOrder::Track) {
        less = [&](const SortKey &a, const SortKey &b) {
            if ((a.track > 0) != (b.track > 0))
                return a.track > 0;
            const int da = std::max(a.disc, 1), db = std::max(b.disc, 1);
            if (da != db)
                return da < db;
            if (a.track != b.track)
                return a.track < b.track;
            return byName(a, b);
        };
    } else {
        less = [&](const SortKey &a, const SortKey &b) {
            if (a.title.isEmpty() != b.title.isEmpty())
                return !a.title.isEmpty();
            const int r = c.compare(a.title, b.title);
            return r != 0 ? r < 0 : byName(a, b);
        };
    }
    std::sort(k.begin(), k.end(), less);
    return Names(k);
}

SortKey ReadSortKey(const QString &folder, const QString &entry) {
    SortKey key;
    key.name = entry;
    tags::Mp3TagID3v2 v2;
    tags::Mp3TagID3v1 v1;
    tags::fileops::File file(tags::Mp3TagID3v2::Source());
    try {
        file.Open(platform::FsPath(EntryPath(folder, entry)), tags::fileops::File::Mode::Read);
        v2.ReadFrom(file);
        key.title = QString::fromStdString(v2.Title()).trimmed();
        if (const auto track = ParsePartOf(QString::fromStdString(v2.Track())))
            key.track = track->number;
        key.disc = DiscOf(v2);
    } catch (...) {
    }
    if (!file.IsOpen() || (key.track > 0 && !key.title.isEmpty()))
        return key;
    try {
        v1.ReadFrom(file);
        if (key.track == 0)
            key.track = v1.Track();
        if (key.title.isEmpty())
            key.title = QString::fromStdString(v1.Title()).trimmed();
    } catch (...) {
    }
    return key;
}

SortKeyReader::~SortKeyReader() { Stop(); }

bool SortKeyReader::Start(const QString &folder, const QStringList &entries, SortOrder order) {
    if (m_thread)
        return false;
    m_stop = false;
    m_order = order;
    m_keys.clear();
    m_thread = QThread::create([this, folder, entries] {
        std::vector<SortKey> keys;
        keys.reserve(static_cast<size_t>(entries.size()));
        const int n = static_cast<int>(entries.size());
        for (int i = 0; i < n && !m_stop; ++i) {
            keys.push_back(ReadSortKey(folder, entries[i]));
            if (i % 16 == 15 || i == n - 1)
                QMetaObject::invokeMethod(this, [this, i, n] { emit progress(i + 1, n); }, Qt::QueuedConnection);
        }
        if (!m_stop)
            m_keys = std::move(keys); // read by the owner only after `finished` of the thread
    });
    connect(m_thread, &QThread::finished, this, [this, thread = m_thread] {
        if (m_thread != thread)
            return; // stopped: Stop has cleaned up
        // `finished` comes just before the thread's end: wait for that end, so that no
        // thread of ours is still ending when its owner goes.
        m_thread->wait();
        m_thread->deleteLater();
        m_thread = nullptr;
        if (!m_stop)
            emit finished();
    });
    m_thread->start();
    return true;
}

void SortKeyReader::Stop() {
    if (!m_thread)
        return;
    m_stop = true;
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    m_keys.clear();
}

} // namespace album
