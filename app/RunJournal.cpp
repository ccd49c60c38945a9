#include "RunJournal.h"

#include "AlbumWorkflow.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "FileOps.h"
#include "FileUtils.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace album {

namespace {

const char kJournal[] = "lauf.journal";
const char kTags[] = "lauf.tags";  // every file's old tag regions, one after the other
constexpr int kMarkRoom = 160;     // bytes set aside per mark to come
std::function<void(int)> g_markHook;

QString B64(const QByteArray &b) { return QString::fromLatin1(b.toBase64()); }
QByteArray UnB64(const QJsonValue &v) { return QByteArray::fromBase64(v.toString().toLatin1()); }

QByteArray Line(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n'; }

// Writes bytes at the end of a file (created if asked to), flushed if asked to.
bool Append(const QString &path, const QByteArray &bytes, bool create, bool flush = true) {
    try {
        tags::fileops::File f("journal");
        if (create) {
            f.CreateNew(platform::FsPath(path));
        } else {
            f.Open(platform::FsPath(path), tags::fileops::File::Mode::ReadWrite);
            f.Seek(f.Size());
        }
        f.Write(bytes.constData(), static_cast<size_t>(bytes.size()));
        if (flush)
            f.Sync();
        f.Close();
        return true;
    } catch (...) {
        return false;
    }
}

void SyncDir(const QString &dir) { tags::fileops::SyncFolder(platform::FsPath(QDir(dir).absolutePath())); }

} // namespace

int JournalState::FilesDone() const {
    int n = 0;
    for (const JournalFile &f : files)
        n += f.present && (rename ? f.moved == 2 || (renamed && f.tagged) : f.tagged) ? 1 : 0;
    return n;
}

int JournalState::FilesPresent() const {
    int n = 0;
    for (const JournalFile &f : files)
        n += f.present ? 1 : 0;
    return n;
}

QString RunJournal::DirFor(const QString &folder) { return EntryPath(folder, QStringLiteral(".sortimentor-lauf")); }

bool RunJournal::Exists(const QString &folder) {
    return !folder.isEmpty() && (QFileInfo::exists(DirFor(folder) + QLatin1Char('/') + QLatin1String(kJournal)) ||
                                 DirectoryOrder::Interrupted(folder));
}

QString RunJournal::PathOf(const QString &name) const { return Dir() + QLatin1Char('/') + name; }

void RunJournal::SetMarkHook(std::function<void(int)> hook) { g_markHook = std::move(hook); }

bool RunJournal::Begin(const QString &folder, const QStringList &entries, const std::vector<bool> &writeTags,
                       const std::vector<QJsonObject> &plannedRows, const std::optional<RenameOptions> &rename,
                       const QString &playlistName, QString *why, bool directoryOrder) {
    auto fail = [&](const QString &text) {
        if (why)
            *why = text;
        return false;
    };
    {
        RunJournal earlier;
        if (!DirectoryOrder::Recover(folder))
            return fail(QStringLiteral("Im Ordner %1 liegen noch Dateien eines abgebrochenen Laufs; ihre Namen sind "
                                       "im Album vergeben. Es wurde nichts verändert.")
                            .arg(QDir::toNativeSeparators(DirectoryOrder::HoldingFolder(folder))));
        if (Exists(folder) && (!earlier.Load(folder) || !earlier.State().complete || earlier.State().rollingBack))
            return fail(QStringLiteral("Ein früherer Durchlauf im Ordner \"%1\" ist nicht beendet. Laden Sie den Ordner "
                                       "neu und wählen Sie „Fortsetzen“ oder „Rückgängig machen“; erst dann kann ein "
                                       "neuer Durchlauf beginnen.")
                            .arg(QDir::toNativeSeparators(folder)));
    }
    Close();
    state_ = JournalState{};
    state_.folder = folder;
    marks_ = 0;
    // The previous run's record (kept for its undo) stays until this one's old
    // tag bytes are all on the disk.
    const QString dir = Dir();
    const QString tagsPart = PathOf(QLatin1String(kTags) + QStringLiteral(".neu"));
    const QString cannot = QStringLiteral("Im Ordner \"%1\" lässt sich das Protokoll des Durchlaufs nicht anlegen "
                                          "(Ordner schreibgeschützt oder Datenträger voll?). Es wurde nichts verändert.")
                               .arg(QDir::toNativeSeparators(folder));
    std::optional<tags::fileops::File> tagFile;
    auto giveUp = [&](const QString &text) {
        tagFile.reset();
        if (QFileInfo::exists(PathOf(QLatin1String(kJournal))))
            QFile::remove(tagsPart);
        else
            QDir(dir).removeRecursively();
        return fail(text);
    };
    auto failWrite = [&] { return giveUp(cannot); };
    if (!QDir().mkpath(dir))
        return fail(cannot);
    // The old tag bytes go straight into their file, one file at a time: an
    // album's covers would not fit into memory at once.
    QFile::remove(tagsPart);  // left by a plan cut short
    try {
        tagFile.emplace("journal");
        tagFile->CreateNew(platform::FsPath(tagsPart));
    } catch (...) {
        return failWrite();
    }
    qint64 tagBytes = 0;
    QJsonArray files;
    QSet<QString> seen;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        JournalFile f;
        f.oldName = entries[i];
        const QString path = EntryPath(folder, f.oldName);
        const QFileInfo info(path);
        f.present = !seen.contains(f.oldName) && info.isFile() && IsPlainName(f.oldName);
        seen << f.oldName;
        f.writeTags = i < static_cast<qsizetype>(writeTags.size()) && writeTags[static_cast<size_t>(i)];
        if (i < static_cast<qsizetype>(plannedRows.size()))
            f.plannedRows = plannedRows[static_cast<size_t>(i)];
        if (f.present) {
            const std::optional<TagRegions> regions = FileRegions(path, &f.oldSize);
            if (!regions)
                return giveUp(QStringLiteral("Die Datei \"%1\" lässt sich nicht lesen.").arg(f.oldName));
            f.oldHash = ContentDigest(*regions);
            f.oldMode = static_cast<int>(info.permissions());
            f.oldAt = tagBytes;
            f.oldHeadSize = regions->head.size();
            f.oldTailSize = regions->tail.size();
            f.oldMiddleHash = regions->middleHash;
            try {
                tagFile->Write(regions->head.constData(), static_cast<size_t>(f.oldHeadSize));
                tagFile->Write(regions->tail.constData(), static_cast<size_t>(f.oldTailSize));
            } catch (...) {
                return failWrite();
            }
            tagBytes += f.oldHeadSize + f.oldTailSize;
        }
        files.append(QJsonObject{{"old", f.oldName}, {"present", f.present}, {"tags", f.writeTags},
                                 {"size", f.oldSize}, {"mode", f.oldMode}, {"hash", B64(f.oldHash)},
                                 {"at", f.oldAt}, {"headSize", f.oldHeadSize}, {"tailSize", f.oldTailSize},
                                 {"mid", B64(f.oldMiddleHash)}, {"rows", f.plannedRows}});
        state_.files.push_back(std::move(f));
    }
    state_.rename = rename.has_value();
    state_.renameOptions = rename.value_or(RenameOptions{});
    state_.playlist = !playlistName.isEmpty();
    state_.playlistName = playlistName;
    state_.dirOrder = directoryOrder;
    if (state_.playlist) {
        const QString path = EntryPath(folder, playlistName);
        state_.playlistExisted = QFileInfo(path).isFile();
        if (state_.playlistExisted) {
            QFile in(path);
            if (!in.open(QIODevice::ReadOnly))
                return giveUp(QStringLiteral("Die Wiedergabeliste \"%1\" lässt sich nicht lesen.").arg(playlistName));
            state_.playlistOld = in.readAll();
        }
    }
    const QJsonObject head{{"folder", folder},
                           {"files", files},
                           {"rename", state_.rename},
                           {"tFilename", state_.renameOptions.tFilename},
                           {"useExist", state_.renameOptions.useExistFile},
                           {"playlist", playlistName},
                           {"playlistExisted", state_.playlistExisted},
                           {"playlistOld", B64(state_.playlistOld)},
                           {"dirOrder", directoryOrder}};
    try {
        tagFile->Sync();
        tagFile->Close();
    } catch (...) {
        return failWrite();
    }
    // Now the earlier record goes, its journal first, so that what a crash
    // leaves of it counts as leftovers.
    QFile::remove(PathOf(QLatin1String(kJournal)));
    QDir old(dir);
    for (const QString &name : old.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        if (old.filePath(name) != tagsPart && !QFile::remove(old.filePath(name)))
            QDir(old.filePath(name)).removeRecursively();
    if (!QFile::rename(tagsPart, PathOf(QLatin1String(kTags))))
        return failWrite();
    // Written under another name and renamed: a record is whole or not there.
    // Room for the marks behind the plan, so that they are written in place: fewer
    // changes to flush, and file systems that take no write past the end of a file
    // opened again (fusefat) take them too. A line of blanks ends the marks.
    const QString part = PathOf(QStringLiteral("lauf.neu"));
    const QByteArray plan = Line(head);
    QByteArray room(static_cast<qsizetype>(kMarkRoom * (3 * entries.size() + 16)), ' ');
    room.back() = '\n';
    if (!Append(part, plan + room, true) || !QFile::rename(part, PathOf(QLatin1String(kJournal))))
        return failWrite();
    end_ = plan.size();
    SyncDir(dir);
    SyncDir(folder);
    if (g_markHook)
        g_markHook(0);
    return true;
}

bool RunJournal::Load(const QString &folder) {
    Close();
    state_ = JournalState{};
    marks_ = 0;
    if (!folder.isEmpty())
        DirectoryOrder::Recover(folder);
    QFile in(DirFor(folder) + QLatin1Char('/') + QLatin1String(kJournal));
    if (!in.open(QIODevice::ReadOnly)) {
        // Without its record the folder holds what a removal or a plan cut short
        // left behind, before anything of the album changed or after all was done.
        if (!folder.isEmpty() && !in.exists() && QFileInfo(DirFor(folder)).isDir())
            QDir(DirFor(folder)).removeRecursively();
        return false;
    }
    const QList<QByteArray> lines = in.readAll().split('\n');
    const QJsonObject head = QJsonDocument::fromJson(lines.value(0)).object();
    if (head.isEmpty())
        return false;
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

bool RunJournal::Write(const QByteArray &line, bool flush) {
    const QString path = PathOf(QLatin1String(kJournal));
    try {
        if (!out_) {
            auto f = std::make_unique<tags::fileops::File>("journal");
            f->Open(platform::FsPath(path), tags::fileops::File::Mode::ReadWrite);
            out_ = std::move(f);
        }
        out_->Seek(end_);
        out_->Write(line.constData(), static_cast<size_t>(line.size()));
        if (flush)
            out_->Sync();
        end_ += line.size();
        return true;
    } catch (...) {
        out_.reset();
    }
    // Past its room on a file system that takes no write past the end of a file opened
    // again: the record is written anew, up to its last mark, and renamed over the old.
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray whole = in.read(end_) + line;
    in.close();
    if (whole.size() != end_ + line.size() || !ReplaceFile(path, whole, PathOf(QStringLiteral("lauf.journal.neu"))))
        return false;
    end_ = whole.size();
    return true;
}

bool RunJournal::Mark(const QJsonObject &mark, bool flush) {
    if (!Write(Line(mark), flush))
        return false;
    Apply(mark);
    ++marks_;
    if (g_markHook)
        g_markHook(marks_);
    return true;
}

bool RunJournal::Remove() {
    Close();
    // The record itself goes last: until then a repair cut short finds it again.
    QDir dir(Dir());
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        if (name != QLatin1String(kJournal))
            QFile::remove(dir.filePath(name));
    SyncDir(Dir());
    QFile::remove(dir.filePath(QLatin1String(kJournal)));
    const bool ok = QDir().rmdir(Dir());
    SyncDir(state_.folder);
    return ok;
}

void RunJournal::Apply(const QJsonObject &m) {
    const QString kind = m.value("m").toString();
    const int i = m.value("i").toInt(-1);
    JournalFile *f = i >= 0 && i < static_cast<int>(state_.files.size()) ? &state_.files[static_cast<size_t>(i)] : nullptr;
    if (kind == "begin" && f) {
        f->begun = true;
        f->rows = m.value("rows").toObject();
    } else if (kind == "tagged" && f) {
        f->tagged = true;
        f->taggedHash = UnB64(m.value("hash"));
        f->skipped = m.value("skip").toString();
    } else if (kind == "renamePlan") {
        state_.renamePlanned = true;
        for (const QJsonValue &v : m.value("files").toArray()) {
            const QJsonObject o = v.toObject();
            const int k = o.value("i").toInt(-1);
            if (k >= 0 && k < static_cast<int>(state_.files.size())) {
                state_.files[static_cast<size_t>(k)].temp = o.value("temp").toString();
                state_.files[static_cast<size_t>(k)].newName = o.value("new").toString();
            }
        }
    } else if (kind == "moved" && f) {
        f->moved = m.value("phase").toInt();
    } else if (kind == "renamed") {
        state_.renamed = true;
    } else if (kind == "playlist") {
        state_.playlistBegun = true;
        state_.playlistNew = UnB64(m.value("bytes"));
    } else if (kind == "playlistDone") {
        state_.playlistDone = true;
    } else if (kind == "dirOrder") {
        state_.dirOrderBegun = true;
    } else if (kind == "dirOrderDone") {
        state_.dirOrderDone = true;
        state_.dirOrderProblem = m.value("problem").toString();
    } else if (kind == "complete") {
        state_.complete = true;
        for (const QJsonValue &v : m.value("files").toArray()) {
            const QJsonObject o = v.toObject();
            const int k = o.value("i").toInt(-1);
            if (k < 0 || k >= static_cast<int>(state_.files.size()))
                continue;
            JournalFile &g = state_.files[static_cast<size_t>(k)];
            g.finalName = o.value("name").toString();
            g.finalSize = o.value("size").toInteger();
            g.finalTime = o.value("time").toInteger();
            g.finalHash = UnB64(o.value("hash"));
        }
    } else if (kind == "rollback") {
        state_.rollingBack = true;
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
