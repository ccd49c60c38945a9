#include "RunJournal.h"

#include "AlbumWorkflow.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "FileOps.h"
#include "FileUtils.h"
#include "RunStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

// The record read back: the plan, every mark that reached the disk, a file's old tag
// regions; and the rows as the record holds them.
namespace album {

namespace {

constexpr auto kJournal = RunJournal::kJournalFile;
constexpr auto kTags = RunJournal::kTagFile;

QByteArray UnB64(const QJsonValue &v) { return QByteArray::fromBase64(v.toString().toLatin1()); }

} // namespace

bool RunJournal::Load(const QString &folder) {
    Close();
    if (!folder.isEmpty())
        DirectoryOrder::Recover(folder);
    const QString home = DirFor(folder);
    if (!folder.isEmpty() && QFileInfo::exists(home + QLatin1Char('/') + QLatin1String(kJournal))) {
        if (!LoadFrom(home, folder))
            return false;
        Keep();  // a finished run whose record a crash left in the album
        return true;
    }
    // Without its record the folder holds what a removal or a plan cut short left
    // behind, before anything of the album changed or after all was done; or a copy
    // back from the kept records cut short.
    if (!folder.isEmpty()) {
        for (const QString &left : {home, PartOf(home)})
            if (QFileInfo(left).isDir())
                QDir(left).removeRecursively();
    }
    return LoadKept(folder);
}

bool RunJournal::LoadKept(const QString &folder) {
    if (!folder.isEmpty())
        for (const QString &dir : runstore::Kept())
            if (LoadFrom(dir, folder) && state_.complete && !state_.rollingBack && SameAlbum(folder)) {
                kept_ = true;
                return true;
            }
    state_ = JournalState{};
    dir_.clear();
    id_.clear();
    return false;
}

bool RunJournal::SameAlbum(const QString &folder) const {
    if (ComparablePath(planFolder_) == ComparablePath(folder))
        return true;
    if (!state_.complete)
        return false;
    int present = 0;
    for (const JournalFile &f : state_.files) {
        if (!f.present)
            continue;
        ++present;
        const QFileInfo info(EntryPath(folder, f.finalName));
        if (!info.isFile() || info.size() != f.finalSize || info.lastModified().toMSecsSinceEpoch() != f.finalTime)
            return false;
    }
    return present > 0;
}

bool RunJournal::LoadFrom(const QString &dir, const QString &folder) {
    state_ = JournalState{};
    marks_ = 0;
    kept_ = false;
    dir_ = dir;
    QFile in(dir + QLatin1Char('/') + QLatin1String(kJournal));
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = in.readAll().split('\n');
    const QJsonObject head = QJsonDocument::fromJson(lines.value(0)).object();
    if (head.isEmpty())
        return false;
    id_ = head.value("id").toString();
    planFolder_ = head.value("folder").toString();
    state_.folder = folder;  // where it was found; the album may have moved as a whole
    for (const QJsonValue &v : head.value("files").toArray()) {
        const QJsonObject o = v.toObject();
        JournalFile f;
        f.oldName = o.value("old").toString();
        f.present = o.value("present").toBool();
        f.writeTags = o.value("tags").toBool();
        f.oldSize = o.value("size").toInteger();
        f.oldMode = o.value("mode").toInt();
        f.oldHash = UnB64(o.value("hash"));
        f.oldAt = o.value("at").toInteger();
        f.oldHeadSize = o.value("headSize").toInteger();
        f.oldTailSize = o.value("tailSize").toInteger();
        f.oldMiddleHash = UnB64(o.value("mid"));
        f.plannedRows = o.value("rows").toObject();
        state_.files.push_back(std::move(f));
    }
    state_.rename = head.value("rename").toBool();
    state_.renameOptions = {head.value("tFilename").toString(), head.value("useExist").toBool()};
    state_.playlistName = head.value("playlist").toString();
    state_.playlist = !state_.playlistName.isEmpty();
    state_.playlistExisted = head.value("playlistExisted").toBool();
    state_.playlistOld = UnB64(head.value("playlistOld"));
    state_.dirOrder = head.value("dirOrder").toBool();
    // A mark cut short by a crash was never flushed: its step counts as not done.
    end_ = lines[0].size() + 1;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QJsonObject mark = QJsonDocument::fromJson(lines[i]).object();
        if (mark.isEmpty())
            break;
        Apply(mark);
        ++marks_;
        end_ += lines[i].size() + 1;
    }
    return true;
}

std::optional<TagRegions> RunJournal::OldRegions(const JournalFile &f) const {
    try {
        tags::fileops::File in("journal");
        in.Open(platform::FsPath(PathOf(QLatin1String(kTags))), tags::fileops::File::Mode::Read);
        TagRegions r{QByteArray(static_cast<qsizetype>(f.oldHeadSize), Qt::Uninitialized),
                     QByteArray(static_cast<qsizetype>(f.oldTailSize), Qt::Uninitialized), f.oldMiddleHash};
        if (in.ReadAt(f.oldAt, r.head.data(), static_cast<size_t>(r.head.size())) != static_cast<size_t>(r.head.size()) ||
            in.ReadAt(f.oldAt + f.oldHeadSize, r.tail.data(), static_cast<size_t>(r.tail.size())) !=
                static_cast<size_t>(r.tail.size()))
            return std::nullopt;
        // What the record holds of the file as a whole tells whether these are its bytes.
        if (ContentDigest(r) != f.oldHash)
            return std::nullopt;
        return r;
    } catch (...) {
        return std::nullopt;
    }
}

RunJournal::RunJournal() = default;
RunJournal::~RunJournal() = default;

void RunJournal::Close() { out_.reset(); }

void RunJournal::Apply(const QJsonObject &m) {
    const std::optional<MarkKind> kind = MarkFromName(m.value("m").toString());
    // The file an object names by its "i"; none when it names no file of the plan.
    const auto fileOf = [this](const QJsonObject &o) -> JournalFile * {
        const int i = o.value("i").toInt(-1);
        return i >= 0 && i < static_cast<int>(state_.files.size()) ? &state_.files[static_cast<size_t>(i)] : nullptr;
    };
    JournalFile *f = fileOf(m);
    if (!kind)
        return; // a mark of a kind this version does not know changes nothing
    switch (*kind) {
    case MarkKind::Begin:
        if (f) {
            f->begun = true;
            f->rows = m.value("rows").toObject();
        }
        break;
    case MarkKind::Tagged:
        if (f) {
            f->tagged = true;
            f->taggedHash = UnB64(m.value("hash"));
            f->skipped = m.value("skip").toString();
        }
        break;
    case MarkKind::RenamePlan:
        state_.renamePlanned = true;
        for (const QJsonValue &v : m.value("files").toArray()) {
            const QJsonObject o = v.toObject();
            if (JournalFile *g = fileOf(o)) {
                g->temp = o.value("temp").toString();
                g->newName = o.value("new").toString();
            }
        }
        break;
    case MarkKind::Moved:
        if (f)
            f->moved = m.value("phase").toInt();
        break;
    case MarkKind::Renamed:
        state_.renamed = true;
        break;
    case MarkKind::Playlist:
        state_.playlistBegun = true;
        state_.playlistNew = UnB64(m.value("bytes"));
        break;
    case MarkKind::PlaylistDone:
        state_.playlistDone = true;
        break;
    case MarkKind::DirOrder:
        state_.dirOrderBegun = true;
        break;
    case MarkKind::DirOrderDone:
        state_.dirOrderDone = true;
        state_.dirOrderProblem = m.value("problem").toString();
        break;
    case MarkKind::Complete:
        state_.complete = true;
        for (const QJsonValue &v : m.value("files").toArray()) {
            const QJsonObject o = v.toObject();
            if (JournalFile *g = fileOf(o)) {
                g->finalName = o.value("name").toString();
                g->finalSize = o.value("size").toInteger();
                g->finalTime = o.value("time").toInteger();
                g->finalHash = UnB64(o.value("hash"));
            }
        }
        break;
    case MarkKind::Rollback:
        state_.rollingBack = true;
        break;
    }
}

QJsonObject RowsToJson(const tagpanel::Rows &r) {
    return QJsonObject{{"artist", r.artist},   {"title", r.title},       {"album", r.album},   {"year", r.year},
                       {"comment", r.comment}, {"track", r.track},       {"genre", r.genre},   {"tArtist", r.tArtist},
                       {"tTitel", r.tTitel},   {"tAlbum", r.tAlbum},     {"tYear", r.tYear},   {"tKommentar", r.tKommentar},
                       {"tTrack", r.tTrack},   {"tGenre", r.tGenre},         {"trackTotal", r.trackTotal}};
}

tagpanel::Rows RowsFromJson(const QJsonObject &o) {
    tagpanel::Rows r;
    r.artist = o.value("artist").toBool();
    r.title = o.value("title").toBool();
    r.album = o.value("album").toBool();
    r.year = o.value("year").toBool();
    r.comment = o.value("comment").toBool();
    r.track = o.value("track").toBool();
    r.genre = o.value("genre").toBool();
    r.tArtist = o.value("tArtist").toString();
    r.tTitel = o.value("tTitel").toString();
    r.tAlbum = o.value("tAlbum").toString();
    r.tYear = o.value("tYear").toString();
    r.tKommentar = o.value("tKommentar").toString();
    r.tTrack = o.value("tTrack").toString();
    r.tGenre = o.value("tGenre").toString();
    r.trackTotal = o.value("trackTotal").toInt();
    return r;
}

} // namespace album
