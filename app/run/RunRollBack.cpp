#include "RunRepair.h"

#include "AlbumRename.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "FileUtils.h"
#include "RepairSteps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace album {

using namespace repair;

namespace {

// The playlist: the old one back, or none.
void RestorePlaylist(RunJournal &j, bool checkChanged, const TrashFn &trash, RepairResult &r) {
    const JournalState &st = j.State();
    if (!st.playlist || !IsPlainName(st.playlistName))
        return;
    const QString p = EntryPath(st.folder, st.playlistName);
    const bool there = QFileInfo(p).isFile();
    const QByteArray now = there ? ReadWhole(p) : QByteArray();
    const bool restored = st.playlistExisted && there && now == st.playlistOld;  // by an undo cut short
    if (checkChanged && there && st.playlistDone && now != st.playlistNew && !restored) {
        r.refused << st.playlistName;
        return;
    }
    if (st.playlistExisted ? (there && now == st.playlistOld) : !there)
        return;
    bool clear = !there;
    if (there && st.playlistBegun && now == st.playlistNew)
        clear = QFile::remove(p);  // the run's own, known byte for byte
    else if (there)
        clear = trash(p).ok || !Occupied(p);
    if (!clear)
        Fail(r, st.playlistName, QStringLiteral("der Papierkorb nimmt sie nicht auf"));
    else if (st.playlistExisted && !ReplaceDurably(p, st.playlistOld, j.PathOf(QStringLiteral("liste.neu"))))
        Fail(r, st.playlistName, QStringLiteral("ließ sich nicht zurückschreiben"));
}

// Whether an undo must leave the file alone: changed since the finished run.
bool ChangedSince(const RunJournal &j, const JournalFile &f) {
    const QString path = EntryPath(j.State().folder, f.finalName);
    const QFileInfo info(path);
    return !info.isFile() || info.size() != f.finalSize || info.lastModified().toMSecsSinceEpoch() != f.finalTime ||
           FileHash(path) != f.finalHash;
}

// One file out of the album's names into its old bytes beside the record (`back`); true
// when they wait there to go under the old name.
bool SetAside(RunJournal &j, const JournalFile &f, const QString &back, bool checkChanged, const TrashFn &trash,
              RepairResult &r) {
    const QString folder = j.State().folder;
    auto path = [&](const QString &name) { return EntryPath(folder, name); };
    if (QFileInfo::exists(back)) {
        if (FileHash(back) == f.oldHash) {
            // Cut short after the old bytes were written: the run's version still has to go to the trash.
            const QString at = Locate(j, f);
            if (!at.isEmpty() && !trash(path(at)).ok && Occupied(path(at)))
                return Fail(r, at, QStringLiteral("der Papierkorb nimmt die Datei nicht auf"));
            return true;
        }
        QFile::remove(back);  // written only halfway
    }
    const bool returned = QFileInfo(path(f.oldName)).isFile() && FileHash(path(f.oldName)) == f.oldHash;
    if (checkChanged && !returned && ChangedSince(j, f)) {  // an undo cut short has given some back already
        r.refused << f.finalName;
        return false;
    }
    QByteArray hash;
    const QString at = Locate(j, f, &hash);
    if (at.isEmpty())
        return Fail(r, f.oldName, QStringLiteral("ist nicht mehr im Ordner"));
    // Whatever lies under the temporary name beside the file is the run's own
    // copy of it, whole or cut short: its name was free and made up for this run.
    if (!f.temp.isEmpty() && f.temp != at && QFileInfo(path(f.temp)).isFile())
        QFile::remove(path(f.temp));
    if (at == f.oldName && hash == f.oldHash) {
        QFile::setPermissions(path(at), QFileDevice::Permissions(f.oldMode));
        return false;  // never changed
    }
    if (hash == f.oldHash)
        return platform::RenameFile(path(at), back) || Fail(r, f.oldName, QStringLiteral("ließ sich nicht umbenennen"));
    const std::optional<TagRegions> regions = j.OldRegions(f);
    const std::optional<QByteArray> old = regions ? Rebuild(*regions, ReadWhole(path(at))) : std::nullopt;
    if (!old || ContentDigest(SplitRegions(*old)) != f.oldHash)
        return Fail(r, at, QStringLiteral("die alten Tags lassen sich nicht wiederherstellen"));
    if (!WriteNewFile(back, *old, f.oldMode))
        return Fail(r, f.oldName, QStringLiteral("der Datenträger nimmt die alte Fassung nicht auf"));
    SyncFolderOf(back, true);
    const platform::TrashOutcome out = trash(path(at));
    if (!out.ok && Occupied(path(at))) {
        QFile::remove(back);
        return Fail(r, at, out.reason);
    }
    return true;
}

} // namespace

// Every file out of the album's names into its old bytes, beside the record, then
// each under its old name: no old name can meet a file of the run that has not moved.
RepairResult RollBack(RunJournal &j, bool undo, const RepairSeams &seams) {
    JournalState &st = j.State();
    RepairResult r;
    const TrashFn trash = TrashOf(seams);
    // A directory step cut short: every file back into the album folder first.
    if (!DirectoryOrder::Recover(st.folder))
        return Fail(r, st.folder, QStringLiteral("Dateien liegen noch in %1")
                                      .arg(QDir::toNativeSeparators(DirectoryOrder::HoldingFolder(st.folder)))),
               r;
    // The old files are rebuilt beside the record and renamed into the album.
    if (!j.BringHome())
        return Fail(r, st.folder, QStringLiteral("Das Protokoll des Durchlaufs lässt sich nicht in den Ordner "
                                                 "zurückholen (Ordner schreibgeschützt oder Datenträger voll?).")),
               r;
    if (!st.rollingBack && !j.Mark(MarkKind::Rollback))
        return Fail(r, st.folder, kNoMark), r;
    const bool checkChanged = undo && st.complete;
    RestorePlaylist(j, checkChanged, trash, r);
    const int count = static_cast<int>(st.files.size());
    std::vector<bool> waiting(static_cast<size_t>(count), false);
    auto back = [&](int i) { return j.PathOf(QStringLiteral("alt-%1").arg(i)); };
    for (int i = 0; i < count; ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        if (f.present) {
            Progress(seams, i, count, f.oldName);
            waiting[static_cast<size_t>(i)] = SetAside(j, f, back(i), checkChanged, trash, r);
        }
    }
    SyncFolderOf(st.folder);
    bool keep = false;
    for (int i = 0; i < count; ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        if (!waiting[static_cast<size_t>(i)])
            continue;
        const QString path = EntryPath(st.folder, f.oldName);
        if (Occupied(path) || !platform::RenameFile(back(i), path)) {
            keep = true;  // the record keeps it until its name is free
            Fail(r, f.oldName, QStringLiteral("der Name ist vergeben; die alte Fassung liegt in %1")
                                   .arg(QDir::toNativeSeparators(back(i))));
            continue;
        }
        QFile::setPermissions(path, QFileDevice::Permissions(f.oldMode));
        ++r.files;
    }
    RemoveWriterLeftovers(st.folder);
    SyncFolderOf(st.folder);
    // A file that could not be given back still has its old tags only in the record:
    // the record stays, so that the undo can be tried again.
    if (!keep && r.ok)
        j.Remove();
    return r;
}

} // namespace album
