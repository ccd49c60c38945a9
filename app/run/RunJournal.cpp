#include "RunJournal.h"

#include "AlbumRename.h"
#include "AlbumWorkflow.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "FileOps.h"
#include "FileUtils.h"
#include "RunStore.h"
#include "RunTexts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

namespace album {

namespace {

constexpr auto kJournal = RunJournal::kJournalFile;
constexpr auto kTags = RunJournal::kTagFile;
constexpr int kMarkRoom = 160;     // bytes set aside per mark to come
std::function<void(int)> g_markHook;

QString B64(const QByteArray &b) { return QString::fromLatin1(b.toBase64()); }

QByteArray Line(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n'; }

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
    if (folder.isEmpty())
        return false;
    if (QFileInfo::exists(DirFor(folder) + QLatin1Char('/') + QLatin1String(kJournal)) || DirectoryOrder::Interrupted(folder))
        return true;
    RunJournal kept;
    return kept.LoadKept(folder);
}

QString RunJournal::PathOf(const QString &name) const { return Dir() + QLatin1Char('/') + name; }

void RunJournal::SetMarkHook(std::function<void(int)> hook) { g_markHook = std::move(hook); }

QString RunJournal::BlockedBy(const QString &folder) {
    if (!DirectoryOrder::Recover(folder))
        return QStringLiteral("Im Ordner %1 liegen noch Dateien eines abgebrochenen Laufs; ihre Namen sind "
                              "im Album vergeben. Es wurde nichts verändert.")
            .arg(QDir::toNativeSeparators(DirectoryOrder::HoldingFolder(folder)));
    // Only a record in the album can be unfinished; the kept ones are all finished.
    if (!QFileInfo::exists(DirFor(folder) + QLatin1Char('/') + QLatin1String(kJournal)))
        return {};
    RunJournal earlier;
    if (!earlier.Load(folder) || !earlier.State().complete)
        return QStringLiteral("Ein früherer Durchlauf im Ordner \"%1\" ist nicht beendet. Laden Sie den Ordner "
                              "neu und wählen Sie „Fortsetzen“ oder „Rückgängig machen“; erst dann kann ein "
                              "neuer Durchlauf beginnen.")
            .arg(QDir::toNativeSeparators(folder));
    if (earlier.State().rollingBack)
        return QStringLiteral("Der letzte Durchlauf im Ordner \"%1\" ist nur zum Teil rückgängig gemacht. "
                              "Wählen Sie „%2“, um ihn ganz zurückzunehmen; erst dann kann ein neuer "
                              "Durchlauf beginnen.")
            .arg(QDir::toNativeSeparators(folder), UndoRunButtonText());
    return {};
}

bool RunJournal::Begin(const QString &folder, const QStringList &entries, const std::vector<bool> &writeTags,
                       const std::vector<QJsonObject> &plannedRows, const std::optional<RenameOptions> &rename,
                       const QString &playlistName, QString *why, bool directoryOrder) {
    QString problem = BlockedBy(folder);
    Close();
    state_ = JournalState{};
    state_.folder = planFolder_ = folder;
    dir_ = DirFor(folder);
    id_ = runstore::NewId(folder);
    kept_ = false;
    marks_ = 0;
    state_.rename = rename.has_value();
    state_.renameOptions = rename.value_or(RenameOptions{});
    state_.playlist = !playlistName.isEmpty();
    state_.playlistName = playlistName;
    state_.dirOrder = directoryOrder;
    const QString tagsPart = PartOf(PathOf(QLatin1String(kTags)));
    QJsonArray files;
    if (problem.isEmpty() && !QDir().mkpath(dir_))
        problem = CannotWrite();
    if (problem.isEmpty()) {
        platform::HideEntry(dir_);
        problem = RecordOldFiles(entries, writeTags, plannedRows, tagsPart, files);
    }
    if (problem.isEmpty())
        problem = RecordOldPlaylist();
    if (problem.isEmpty() && !WritePlan(files, entries.size(), tagsPart))
        problem = CannotWrite();
    if (problem.isEmpty()) {
        if (g_markHook)
            g_markHook(0);
        return true;
    }
    // The previous run's record (kept for its undo) stays unless this one's plan is whole.
    if (QFileInfo::exists(PathOf(QLatin1String(kJournal))))
        QFile::remove(tagsPart);
    else if (QFileInfo(dir_).isDir())
        QDir(dir_).removeRecursively();
    if (why)
        *why = problem;
    return false;
}

QString RunJournal::CannotWrite() const {
    return QStringLiteral("Im Ordner \"%1\" lässt sich das Protokoll des Durchlaufs nicht anlegen "
                          "(Ordner schreibgeschützt oder Datenträger voll?). Es wurde nichts verändert.")
        .arg(QDir::toNativeSeparators(state_.folder));
}

// Every listed file's identity and old tag regions. The regions go straight into
// their file, one file at a time: an album's covers would not fit into memory at once.
QString RunJournal::RecordOldFiles(const QStringList &entries, const std::vector<bool> &writeTags,
                                   const std::vector<QJsonObject> &plannedRows, const QString &tagsPart,
                                   QJsonArray &files) {
    QFile::remove(tagsPart);  // left by a plan cut short
    tags::fileops::File tagFile("journal");
    qint64 tagBytes = 0;
    QSet<QString> seen;
    try {
        tagFile.CreateNew(platform::FsPath(tagsPart));
        for (qsizetype i = 0; i < entries.size(); ++i) {
            JournalFile f;
            f.oldName = entries[i];
            const QString path = EntryPath(state_.folder, f.oldName);
            const QFileInfo info(path);
            f.present = !seen.contains(f.oldName) && info.isFile() && IsPlainName(f.oldName);
            seen << f.oldName;
            f.writeTags = i < static_cast<qsizetype>(writeTags.size()) && writeTags[static_cast<size_t>(i)];
            f.plannedRows = plannedRows.size() > static_cast<size_t>(i) ? plannedRows[static_cast<size_t>(i)] : QJsonObject();
            if (f.present) {
                const std::optional<TagRegions> regions = FileRegions(path, &f.oldSize);
                if (!regions)
                    return QStringLiteral("Die Datei \"%1\" lässt sich nicht lesen.").arg(f.oldName);
                f.oldHash = ContentDigest(*regions);
                f.oldMode = static_cast<int>(info.permissions());
                f.oldAt = tagBytes;
                f.oldHeadSize = regions->head.size();
                f.oldTailSize = regions->tail.size();
                f.oldMiddleHash = regions->middleHash;
                tagFile.Write(regions->head.constData(), static_cast<size_t>(f.oldHeadSize));
                tagFile.Write(regions->tail.constData(), static_cast<size_t>(f.oldTailSize));
                tagBytes += f.oldHeadSize + f.oldTailSize;
            }
            files.append(QJsonObject{{"old", f.oldName}, {"present", f.present}, {"tags", f.writeTags},
                                     {"size", f.oldSize}, {"mode", f.oldMode}, {"hash", B64(f.oldHash)},
                                     {"at", f.oldAt}, {"headSize", f.oldHeadSize}, {"tailSize", f.oldTailSize},
                                     {"mid", B64(f.oldMiddleHash)}, {"rows", f.plannedRows}});
            state_.files.push_back(std::move(f));
        }
        tagFile.Sync();
        tagFile.Close();
    } catch (...) {
        return CannotWrite();
    }
    return {};
}

QString RunJournal::RecordOldPlaylist() {
    if (!state_.playlist)
        return {};
    const QString path = EntryPath(state_.folder, state_.playlistName);
    state_.playlistExisted = QFileInfo(path).isFile();
    if (!state_.playlistExisted)
        return {};
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("Die Wiedergabeliste \"%1\" lässt sich nicht lesen.").arg(state_.playlistName);
    state_.playlistOld = in.readAll();
    return {};
}

// The plan goes on the disk once the old tag bytes are there; the earlier record goes
// first, its journal before the rest, so that what a crash leaves of it counts as leftovers.
bool RunJournal::WritePlan(const QJsonArray &files, qsizetype count, const QString &tagsPart) {
    const QJsonObject head{{"folder", state_.folder},
                           {"id", id_},
                           {"files", files},
                           {"rename", state_.rename},
                           {"tFilename", state_.renameOptions.tFilename},
                           {"useExist", state_.renameOptions.useExistFile},
                           {"playlist", state_.playlistName},
                           {"playlistExisted", state_.playlistExisted},
                           {"playlistOld", B64(state_.playlistOld)},
                           {"dirOrder", state_.dirOrder}};
    QFile::remove(PathOf(QLatin1String(kJournal)));
    QDir old(dir_);
    // By name: the folder may be spelled with either separator on Windows.
    for (const QString &name : old.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        if (name != QFileInfo(tagsPart).fileName() && !QFile::remove(old.filePath(name)))
            QDir(old.filePath(name)).removeRecursively();
    if (!platform::RenameFile(tagsPart, PathOf(QLatin1String(kTags))))
        return false;
    // Written under another name and renamed: a record is whole or not there.
    // Room for the marks behind the plan, so that they are written in place: fewer
    // changes to flush, and file systems that take no write past the end of a file
    // opened again (fusefat) take them too. A line of blanks ends the marks.
    const QString part = PartOf(PathOf(QLatin1String(kJournal)));
    const QByteArray plan = Line(head);
    QByteArray room(static_cast<qsizetype>(kMarkRoom * (3 * count + 16)), ' ');
    room.back() = '\n';
    if (!WriteNewFile(part, plan + room) || !platform::RenameFile(part, PathOf(QLatin1String(kJournal))))
        return false;
    end_ = plan.size();
    SyncFolderOf(dir_);
    SyncFolderOf(state_.folder);
    return true;
}

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
    if (whole.size() != end_ + line.size() || !ReplaceDurably(path, whole))
        return false;
    end_ = whole.size();
    return true;
}

bool RunJournal::Mark(MarkKind kind, QJsonObject mark, bool flush) {
    mark.insert(QStringLiteral("m"), QLatin1String(MarkName(kind)));
    if (!Write(Line(mark), flush))
        return false;
    Apply(mark);
    ++marks_;
    if (g_markHook)
        g_markHook(marks_);
    return true;
}

bool RunJournal::Keep() {
    if (kept_ || !state_.complete || state_.rollingBack || id_.isEmpty())
        return kept_;
    Close();
    bool moved = false;
    if (!runstore::Keep(dir_, id_, &moved))
        return false;
    // The kept records of this album's earlier runs: those runs cannot be undone any more.
    // Unflushed: one that a crash brings back is older than this one, which the undo takes.
    for (const QString &path : runstore::Kept()) {
        const QString id = QFileInfo(path).fileName();
        if (id == id_)
            continue;
        // Known by its name; a record of an earlier build only by what it holds.
        std::optional<bool> same = runstore::OfFolder(id, state_.folder);
        if (!same) {
            RunJournal other;
            same = other.LoadFrom(path, state_.folder) && other.SameAlbum(state_.folder);
        }
        if (*same)
            runstore::Drop(id, false);
    }
    if (!moved) {
        // The album's copy goes, its journal first: what a crash leaves of it is no record.
        QFile::remove(PathOf(QLatin1String(kJournal)));
        SyncFolderOf(dir_);
        QDir(dir_).removeRecursively();
        SyncFolderOf(state_.folder);
    }
    // A move that a crash takes back leaves the finished record in the album, which the
    // next look at the album keeps again.
    dir_ = runstore::PathOf(id_);
    kept_ = true;
    runstore::Prune();
    return true;
}

bool RunJournal::BringHome() {
    if (!kept_)
        return true;
    const QString home = DirFor(state_.folder);
    if (!runstore::BringBack(id_, home))
        return false;
    platform::HideEntry(home);
    SyncFolderOf(state_.folder);
    dir_ = home;
    kept_ = false;
    return true;
}

bool RunJournal::Remove() {
    Close();
    // The kept copy first: a removal cut short leaves the record in the album, which a
    // repair goes on from, and never a kept record of a run already undone.
    runstore::Drop(id_);
    if (kept_)
        return true;
    // The record itself goes last: until then a repair cut short finds it again.
    QDir dir(Dir());
    for (const QString &name : dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        if (name != QLatin1String(kJournal))
            QFile::remove(dir.filePath(name));
    SyncFolderOf(Dir());
    QFile::remove(dir.filePath(QLatin1String(kJournal)));
    const bool ok = QDir().rmdir(Dir());
    SyncFolderOf(state_.folder);
    return ok;
}

} // namespace album
