#include "RunRepair.h"

#include "AlbumPlaylist.h"
#include "AlbumRename.h"
#include "AlbumWorkflow.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "FileUtils.h"
#include "RepairSteps.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <exception>

namespace album {

namespace repair {

const QString kNoMark = QStringLiteral("Das Protokoll des Durchlaufs lässt sich nicht fortschreiben.");

TrashFn TrashOf(const RepairSeams &s) { return s.trash ? s.trash : TrashFn(platform::MoveToTrash); }

void Progress(const RepairSeams &s, int index, int count, const QString &name) {
    if (s.progress) {
        try {
            s.progress(index, count, name);
        } catch (...) {
        }
    }
}

QString Locate(const RunJournal &j, const JournalFile &f, QByteArray *hash) {
    const JournalState &st = j.State();
    const QByteArray want = f.ContentHash();
    for (const QString &name : {f.oldName, f.temp, f.newName, f.finalName}) {
        if (name.isEmpty() || !QFileInfo(EntryPath(st.folder, name)).isFile())
            continue;
        const QByteArray h = FileHash(EntryPath(st.folder, name));
        if (h == want || h == f.oldHash) {
            if (hash)
                *hash = h;
            return name;
        }
    }
    // Cut short in its tag step (or its mark not on the disk): under its old name,
    // new or old, unknown which; its own audio between the old regions tells.
    const QString path = EntryPath(st.folder, f.oldName);
    if (!f.tagged && QFileInfo(path).isFile()) {
        const QByteArray bytes = ReadWhole(path);
        const std::optional<TagRegions> regions = j.OldRegions(f);
        const std::optional<QByteArray> old = regions ? Rebuild(*regions, bytes) : std::nullopt;
        if (old && ContentDigest(SplitRegions(*old)) == f.oldHash) {
            if (hash)
                *hash = ContentDigest(SplitRegions(bytes));
            return f.oldName;
        }
    }
    return {};
}

bool Fail(RepairResult &r, const QString &name, const QString &why) {
    r.ok = false;
    r.failed << QStringLiteral("%1: %2").arg(name, why);
    return false;
}

} // namespace repair

using namespace repair;

namespace {

QString B64(const QByteArray &b) { return QString::fromLatin1(b.toBase64()); }

// The names the entries have once the run is through.
QStringList FinalNames(const JournalState &st) {
    QStringList names;
    for (const JournalFile &f : st.files)
        names << (f.moved == 2 ? f.newName : f.oldName);
    return names;
}


// The album's directory entries in album order under their final names, for players
// that play a FAT folder as it lists. What goes wrong is reported, the files stay.
bool WriteDirectoryOrder(RunJournal &j) {
    JournalState &st = j.State();
    if (!j.Mark(MarkKind::DirOrder))
        return false;
    QStringList names;
    QSet<QString> seen;
    const QStringList now = FinalNames(st);
    for (int i = 0; i < static_cast<int>(st.files.size()); ++i)
        if (st.files[static_cast<size_t>(i)].present && QFileInfo(EntryPath(st.folder, now[i])).isFile() &&
            !seen.contains(now[i])) {
            names << now[i];
            seen << now[i];
        }
    j.Close();  // the record moves out and back with the files
    const DirectoryOrderResult d = DirectoryOrder::Apply(st.folder, names);
    QString problem;
    if (!d.stranded.isEmpty())
        problem = QStringLiteral("Diese Dateien liegen noch im Ordner %1: %2")
                      .arg(QDir::toNativeSeparators(DirectoryOrder::HoldingFolder(st.folder)), d.stranded.join(", "));
    else if (!d.done)
        problem = QStringLiteral("Die Reihenfolge für einfache Abspielgeräte ließ sich nicht schreiben: %1").arg(d.error);
    else if (!d.inOrder)
        problem = QStringLiteral("Der Ordner listet die Dateien nicht in der Reihenfolge des Albums; einfache "
                                 "Abspielgeräte spielen sie womöglich anders.");
    return j.Mark(MarkKind::DirOrderDone, {{"problem", problem}});
}


// The renaming's seams from the repair's, its steps marked in the record.
RenameSeams Marked(RunJournal &j, const RepairSeams &seams) {
    RenameSeams r{seams.rename, seams.copy, seams.trash, seams.ask, seams.progress, {}, {}};
    r.planned = [&j](const std::vector<RenameSeams::Item> &items) {
        QJsonArray list;
        for (const RenameSeams::Item &it : items)
            list.append(QJsonObject{{"i", it.index}, {"temp", it.temp}, {"new", it.newName}});
        return j.Mark(MarkKind::RenamePlan, {{"files", list}});
    };
    r.moved = [&j](int index, int phase) { j.Mark(MarkKind::Moved, {{"i", index}, {"phase", phase}}, false); };
    return r;
}

} // namespace

QString WriteRowsAlone(const QString &path, const tagpanel::Rows &rows) {
    QString why;
    mp3info::Mp3InfoRecord record{};
    if (!platform::WriteId3v1Rows(path, tagpanel::ToId3v1Rows(rows), record))
        why = QStringLiteral("ID3v1 ließ sich nicht schreiben");
    try {
        tags::Mp3TagID3v1 v1;
        tags::Mp3TagID3v2 v2;
        tagpanel::WriteFields(path, rows, v1, v2);
    } catch (const std::exception &e) {
        why = QString::fromUtf8(e.what());
    } catch (...) {
        why = QStringLiteral("die Tags ließen sich nicht schreiben");
    }
    return why;
}

RenameResult RenameRecorded(RunJournal &j, const RepairSeams &seams) {
    const JournalState &st = j.State();
    QStringList entries;
    std::vector<RecordedMove> moves;
    for (int i = 0; i < static_cast<int>(st.files.size()); ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        entries << f.oldName;
        if (!f.temp.isEmpty())
            moves.push_back({i, f.temp, f.newName, f.ContentHash(), f.moved});
    }
    // A renaming whose plan is on the disk goes on from where its files are.
    const RenameResult result = st.renamePlanned ? ResumeRenaming(st.folder, entries, moves, Marked(j, seams))
                                                 : RenameAlbum(st.folder, entries, st.renameOptions, Marked(j, seams));
    SyncFolderOf(st.folder);
    j.Mark(MarkKind::Renamed);
    return result;
}

bool FinishRecorded(RunJournal &j, QStringList *failed) {
    JournalState &st = j.State();
    if (st.playlist && !st.playlistDone) {
        const QByteArray bytes = PlaylistBytes(FinalNames(st));
        const QString path = EntryPath(st.folder, st.playlistName);
        if (!j.Mark(MarkKind::Playlist, {{"bytes", B64(bytes)}}))
            return false;
        if (IsPlainName(st.playlistName) && !QFileInfo(path).isDir() &&
            ReplaceDurably(path, bytes, j.PathOf(QStringLiteral("liste.neu")))) {
            if (!j.Mark(MarkKind::PlaylistDone))
                return false;
        } else if (failed) {
            *failed << QStringLiteral("%1: die Wiedergabeliste ließ sich nicht schreiben").arg(st.playlistName);
        }
    }
    if (st.dirOrder && !st.dirOrderDone) {
        if (!WriteDirectoryOrder(j))
            return false;
        if (failed && !st.dirOrderProblem.isEmpty())
            *failed << st.dirOrderProblem;
    }
    QJsonArray files;
    const QStringList names = FinalNames(st);
    for (int i = 0; i < static_cast<int>(st.files.size()); ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        if (!f.present)
            continue;
        const QFileInfo info(EntryPath(st.folder, names[i]));
        files.append(QJsonObject{{"i", i}, {"name", names[i]}, {"size", info.size()},
                                 {"time", info.lastModified().toMSecsSinceEpoch()}, {"hash", B64(f.ContentHash())}});
    }
    if (!j.Mark(MarkKind::Complete, {{"files", files}}))
        return false;
    j.Keep();  // where it cannot go, it stays in the album and works from there
    return true;
}

RepairResult RollForward(RunJournal &j, const RepairSeams &seams) {
    JournalState &st = j.State();
    if (st.rollingBack)
        return RollBack(j, false, seams);
    RepairResult r;
    if (st.complete)
        return r;
    const RowsWriter write = seams.write ? seams.write : RowsWriter(WriteRowsAlone);
    const int count = static_cast<int>(st.files.size());
    if (!st.renamePlanned) {
        for (int i = 0; i < count; ++i) {
            const JournalFile &f = st.files[static_cast<size_t>(i)];
            if (!f.present || !f.writeTags || f.tagged)
                continue;
            Progress(seams, i, count, f.oldName);
            const QString path = EntryPath(st.folder, f.oldName);
            const QString why = write(path, RowsFromJson(f.begun ? f.rows : f.plannedRows));
            if (!j.Mark(MarkKind::Tagged, {{"i", i}, {"hash", B64(f.HashAfterTagWrite(path))}, {"skip", why}}, false))
                return Fail(r, st.folder, kNoMark), r;
        }
    }
    if (st.rename && !st.renamed) {
        r.renaming = RenameRecorded(j, seams);
        for (const RenameEntry &e : r.renaming->entries)
            if (const QString why = RenameWhy(e); !why.isEmpty())
                Fail(r, e.oldName, why);
    }
    // Before the end mark: a repair killed after it would leave a finished record, which
    // no later repair looks at, beside what killed writers left.
    RemoveWriterLeftovers(st.folder);
    if (!FinishRecorded(j, &r.failed))
        Fail(r, st.folder, kNoMark);
    for (const JournalFile &f : st.files) {
        r.files += f.present ? 1 : 0;
        if (!f.skipped.isEmpty())
            r.failed << QStringLiteral("%1: %2").arg(f.oldName, f.skipped);
    }
    r.ok = r.ok && r.failed.isEmpty();
    return r;
}

} // namespace album
