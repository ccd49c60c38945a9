// The way back: every file of the run out of the album's names into its old bytes,
// beside the record, then each under its old name, so that no old name can meet a
// file of the run that has not moved.

#include "RecordedRun.h"

#include "AlbumFile.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "FileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace album {

// The playlist: the old one back, or none.
void RecordedRun::RestorePlaylist(bool checkChanged) {
    const JournalState &st = journal_.State();
    if (!st.playlist || !IsPlainName(st.playlistName))
        return;
    const QString p = Path(st.playlistName);
    const bool there = QFileInfo(p).isFile();
    const QByteArray now = there ? ReadWhole(p) : QByteArray();
    const bool restored = st.playlistExisted && there && now == st.playlistOld;  // by an undo cut short
    if (checkChanged && there && st.playlistDone && now != st.playlistNew && !restored) {
        r_.refused << st.playlistName;
        return;
    }
    if (st.playlistExisted ? (there && now == st.playlistOld) : !there)
        return;
    bool clear = !there;
    if (there && st.playlistBegun && now == st.playlistNew)
        clear = QFile::remove(p);  // the run's own, known byte for byte
    else if (there)
        clear = Trash(p).ok || !Occupied(p);
    if (!clear)
        Fail(st.playlistName, QStringLiteral("der Papierkorb nimmt sie nicht auf"));
    else if (st.playlistExisted && !ReplaceDurably(p, st.playlistOld, journal_.PathOf(QStringLiteral("liste.neu"))))
        Fail(st.playlistName, QStringLiteral("ließ sich nicht zurückschreiben"));
}

// Whether an undo must leave the file alone: changed since the finished run.
bool RecordedRun::ChangedSince(const JournalFile &f) const {
    const QFileInfo info(Path(f.finalName));
    return !info.isFile() || info.size() != f.finalSize || info.lastModified().toMSecsSinceEpoch() != f.finalTime ||
           !FileIs(Path(f.finalName), f.finalHash);
}

// One file out of the album's names into its old bytes beside the record (`back`); true
// when they wait there to go under the old name.
bool RecordedRun::SetAside(const JournalFile &f, const QString &back, bool checkChanged) {
    if (QFileInfo::exists(back)) {
        if (FileIs(back, f.oldHash)) {
            // Cut short after the old bytes were written: the run's version still has to go to the trash.
            const QString at = Locate(f);
            if (!at.isEmpty() && !Trash(Path(at)).ok && Occupied(Path(at)))
                return Fail(at, QStringLiteral("der Papierkorb nimmt die Datei nicht auf"));
            return true;
        }
        QFile::remove(back);  // written only halfway
    }
    const bool returned = QFileInfo(Path(f.oldName)).isFile() && FileIs(Path(f.oldName), f.oldHash);
    if (checkChanged && !returned && ChangedSince(f)) {  // an undo cut short has given some back already
        r_.refused << f.finalName;
        return false;
    }
    QByteArray hash;
    const QString at = Locate(f, &hash);
    if (at.isEmpty())
        return Fail(f.oldName, QStringLiteral("ist nicht mehr im Ordner"));
    // Whatever lies under the temporary name beside the file is the run's own
    // copy of it, whole or cut short: its name was free and made up for this run.
    if (!f.temp.isEmpty() && f.temp != at && QFileInfo(Path(f.temp)).isFile())
        QFile::remove(Path(f.temp));
    if (at == f.oldName && hash == f.oldHash) {
        QFile::setPermissions(Path(at), QFileDevice::Permissions(f.oldMode));
        return false;  // never changed
    }
    if (hash == f.oldHash)
        return platform::RenameFile(Path(at), back) || Fail(f.oldName, QStringLiteral("ließ sich nicht umbenennen"));
    const std::optional<TagRegions> regions = journal_.OldRegions(f);
    const std::optional<QByteArray> old = regions ? Rebuild(*regions, ReadWhole(Path(at))) : std::nullopt;
    if (!old || !IsContent(*old, f.oldHash))
        return Fail(at, QStringLiteral("die alten Tags lassen sich nicht wiederherstellen"));
    if (!WriteNewFile(back, *old, f.oldMode))
        return Fail(f.oldName, QStringLiteral("der Datenträger nimmt die alte Fassung nicht auf"));
    SyncFolderOf(back, true);
    const platform::TrashOutcome out = Trash(Path(at));
    if (!out.ok && Occupied(Path(at))) {
        QFile::remove(back);
        return Fail(at, out.reason);
    }
    return true;
}

// Each file set aside under its old name; false when one must wait in the record
// until its name is free.
bool RecordedRun::PutBack(const std::vector<bool> &waiting) {
    const JournalState &st = journal_.State();
    bool all = true;
    for (int i = 0; i < static_cast<int>(st.files.size()); ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        if (!waiting[static_cast<size_t>(i)])
            continue;
        const QString back = journal_.PathOf(QStringLiteral("alt-%1").arg(i));
        if (Occupied(Path(f.oldName)) || !platform::RenameFile(back, Path(f.oldName))) {
            all = false;
            Fail(f.oldName, QStringLiteral("der Name ist vergeben; die alte Fassung liegt in %1")
                                .arg(QDir::toNativeSeparators(back)));
            continue;
        }
        QFile::setPermissions(Path(f.oldName), QFileDevice::Permissions(f.oldMode));
        ++r_.files;
    }
    return all;
}

RepairResult RecordedRun::Back(bool undo) {
    const JournalState &st = journal_.State();
    r_ = RepairResult{};
    // A directory step cut short: every file back into the album folder first.
    if (!DirectoryOrder::Recover(st.folder))
        return Fail(st.folder, QStringLiteral("Dateien liegen noch in %1")
                                   .arg(QDir::toNativeSeparators(DirectoryOrder::HoldingFolder(st.folder)))),
               r_;
    // The old files are rebuilt beside the record and renamed into the album.
    if (!journal_.BringHome())
        return Fail(st.folder, QStringLiteral("Das Protokoll des Durchlaufs lässt sich nicht in den Ordner "
                                              "zurückholen (Ordner schreibgeschützt oder Datenträger voll?).")),
               r_;
    if (!st.rollingBack && !journal_.Mark(MarkKind::Rollback))
        return Fail(st.folder, kNoMark), r_;
    const bool checkChanged = undo && st.complete;
    RestorePlaylist(checkChanged);
    const int count = static_cast<int>(st.files.size());
    std::vector<bool> waiting(static_cast<size_t>(count), false);
    for (int i = 0; i < count; ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        if (f.present) {
            Progress(i, count, f.oldName);
            waiting[static_cast<size_t>(i)] = SetAside(f, journal_.PathOf(QStringLiteral("alt-%1").arg(i)), checkChanged);
        }
    }
    SyncFolderOf(st.folder);
    const bool all = PutBack(waiting);
    RemoveWriterLeftovers(st.folder);
    SyncFolderOf(st.folder);
    // A file that could not be given back still has its old tags only in the record:
    // the record stays, so that the undo can be tried again.
    if (all && r_.ok)
        journal_.Remove();
    return r_;
}

} // namespace album
