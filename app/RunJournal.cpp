#include "RunJournal.h"

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
        if (Exists(folder)) {
            if (!earlier.Load(folder) || !earlier.State().complete)
                return fail(QStringLiteral("Ein früherer Durchlauf im Ordner \"%1\" ist nicht beendet. Laden Sie den Ordner "
                                           "neu und wählen Sie „Fortsetzen“ oder „Rückgängig machen“; erst dann kann ein "
                                           "neuer Durchlauf beginnen.")
                                .arg(QDir::toNativeSeparators(folder)));
            if (earlier.State().rollingBack)
                return fail(QStringLiteral("Der letzte Durchlauf im Ordner \"%1\" ist nur zum Teil rückgängig gemacht. "
                                           "Wählen Sie „%2“, um ihn ganz zurückzunehmen; erst dann kann ein neuer "
                                           "Durchlauf beginnen.")
                                .arg(QDir::toNativeSeparators(folder), UndoRunButtonText()));
        }
    }
    Close();
    state_ = JournalState{};
    state_.folder = planFolder_ = folder;
    dir_ = DirFor(folder);
    id_ = runstore::NewId();
    kept_ = false;
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
    platform::HideEntry(dir);
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
                           {"id", id_},
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
    // By name: the folder may be spelled with either separator on Windows.
    for (const QString &name : old.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        if (name != QFileInfo(tagsPart).fileName() && !QFile::remove(old.filePath(name)))
            QDir(old.filePath(name)).removeRecursively();
    if (!platform::RenameFile(tagsPart, PathOf(QLatin1String(kTags))))
        return failWrite();
    // Written under another name and renamed: a record is whole or not there.
    // Room for the marks behind the plan, so that they are written in place: fewer
    // changes to flush, and file systems that take no write past the end of a file
    // opened again (fusefat) take them too. A line of blanks ends the marks.
    const QString part = PathOf(QStringLiteral("lauf.neu"));
    const QByteArray plan = Line(head);
    QByteArray room(static_cast<qsizetype>(kMarkRoom * (3 * entries.size() + 16)), ' ');
    room.back() = '\n';
    if (!WriteNewFile(part, plan + room) || !platform::RenameFile(part, PathOf(QLatin1String(kJournal))))
        return failWrite();
    end_ = plan.size();
    SyncFolderOf(dir);
    SyncFolderOf(folder);
    if (g_markHook)
        g_markHook(0);
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
    if (whole.size() != end_ + line.size() || !ReplaceFile(path, whole, PathOf(QStringLiteral("lauf.journal.neu"))))
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
    if (!runstore::Keep(dir_, id_))
        return false;
    // The kept records of this album's earlier runs: those runs cannot be undone any more.
    for (const QString &path : runstore::Kept()) {
        RunJournal other;
        if (QFileInfo(path).fileName() != id_ && other.LoadFrom(path, state_.folder) && other.SameAlbum(state_.folder))
            runstore::Drop(other.id_);
    }
    // The album's copy goes, its journal first: what a crash leaves of it is no record.
    QFile::remove(PathOf(QLatin1String(kJournal)));
    SyncFolderOf(dir_);
    QDir(dir_).removeRecursively();
    SyncFolderOf(state_.folder);
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
