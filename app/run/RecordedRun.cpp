#include "RecordedRun.h"

#include "AlbumFile.h"
#include "AlbumPlaylist.h"
#include "DirectoryOrder.h"
#include "DurableFile.h"
#include "FileUtils.h"
#include "UndoRecord.h"
#include "id3v1/Mp3TagID3v1.h"
#include "id3v2/Mp3TagID3v2.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QSet>

#include <exception>
#include <memory>

namespace album {

namespace {

QString B64(const QByteArray &b) { return QString::fromLatin1(b.toBase64()); }

} // namespace

QString WriteRowsAlone(const QString &path, const tagpanel::Rows &rows) {
    mp3info::Mp3InfoRecord record{};
    tags::Mp3TagID3v1 v1;
    tags::Mp3TagID3v2 v2;
    return WriteRows(path, rows, record, v1, v2);
}

QString WriteRows(const QString &path, const tagpanel::Rows &rows, mp3info::Mp3InfoRecord &record,
                  tags::Mp3TagID3v1 &v1, tags::Mp3TagID3v2 &v2) {
    QString why;
    if (!platform::WriteId3v1Rows(path, tagpanel::ToId3v1Rows(rows), record))
        why = QStringLiteral("ID3v1 ließ sich nicht schreiben");
    try {
        tagpanel::WriteFields(path, rows, v1, v2);
    } catch (const std::exception &e) {
        why = QString::fromUtf8(e.what());
    } catch (...) {
        why = QStringLiteral("die Tags ließen sich nicht schreiben");
    }
    return why;
}

const QString RecordedRun::kNoMark = QStringLiteral("Das Protokoll des Durchlaufs lässt sich nicht fortschreiben.");

RecordedRun::RecordedRun(RepairSeams seams) : seams_(std::move(seams)) {
    if (!seams_.write)
        seams_.write = WriteRowsAlone;
    if (!seams_.trash)
        seams_.trash = platform::MoveToTrash;
}

bool RecordedRun::Begin(const QString &folder, const QStringList &entries, const std::vector<bool> &writeTags,
                        const std::vector<QJsonObject> &plannedRows, const std::optional<RenameOptions> &rename,
                        const QString &playlistName, QString *why, bool directoryOrder) {
    return journal_.Begin(folder, entries, writeTags, plannedRows, rename, playlistName, why, directoryOrder);
}

void RecordedRun::Progress(int index, int count, const QString &name) {
    if (seams_.progress) {
        try {
            seams_.progress(index, count, name);
        } catch (...) {
        }
    }
}

bool RecordedRun::Fail(const QString &name, const QString &why) {
    r_.ok = false;
    r_.failed << QStringLiteral("%1: %2").arg(name, why);
    return false;
}

platform::TrashOutcome RecordedRun::Trash(const QString &path) { return seams_.trash(path); }

// The name that holds a file's content now, of those the run may have given it;
// its content hash too. Empty when none does.
QString RecordedRun::Locate(const JournalFile &f, QByteArray *hash) const {
    const QByteArray want = f.ContentHash();
    for (const QString &name : {f.oldName, f.temp, f.newName, f.finalName}) {
        if (name.isEmpty() || !QFileInfo(Path(name)).isFile())
            continue;
        const QByteArray h = FileHash(Path(name), KindOf(f.oldHash));
        if (h == want || h == f.oldHash) {
            if (hash)
                *hash = h;
            return name;
        }
    }
    // Cut short in its tag step (or its mark not on the disk): under its old name,
    // new or old, unknown which; its own audio between the old regions tells.
    if (!f.tagged && QFileInfo(Path(f.oldName)).isFile()) {
        const QByteArray bytes = ReadWhole(Path(f.oldName));
        const std::optional<TagRegions> regions = journal_.OldRegions(f);
        const std::optional<QByteArray> old = regions ? Rebuild(*regions, bytes) : std::nullopt;
        if (old && IsContent(*old, f.oldHash)) {
            if (hash)
                *hash = ContentDigest(SplitRegions(bytes, KindOf(f.oldHash)));
            return f.oldName;
        }
    }
    return {};
}

// The names the entries have once the run is through.
QStringList RecordedRun::FinalNames() const {
    QStringList names;
    for (const JournalFile &f : journal_.State().files)
        names << (f.moved == 2 ? f.newName : f.oldName);
    return names;
}

bool RecordedRun::MarkRows(int i, const QJsonObject &rows) {
    return journal_.Mark(MarkKind::Begin, {{"i", i}, {"rows", rows}});
}

// The new hash from the new tag regions and the audio digest of the plan. Unless the
// caller has flushed it (MarkHeld), the file is flushed here, once, before its mark: a
// mark may reach the disk with the next flushed one or by the kernel's writeback, and
// never before a file it counts as written.
bool RecordedRun::MarkTagged(int i, const QString &path, const QString &why, bool flushFile) {
    bool flushed = true;
    const QByteArray hash =
        journal_.State().files[static_cast<size_t>(i)].HashAfterTagWrite(path, flushFile ? &flushed : nullptr);
    const QString skip =
        why.isEmpty() && !flushed ? QStringLiteral("die Datei ließ sich nicht auf den Datenträger schreiben") : why;
    return journal_.Mark(MarkKind::Tagged, {{"i", i}, {"hash", B64(hash)}, {"skip", skip}}, false);
}

// One flush of the album's file system for all held marks where the platform has one,
// else a flush per file; then the marks.
bool RecordedRun::MarkHeld() {
    const bool flushedAll = !held_.empty() && platform::SyncFileSystemOf(journal_.State().folder);
    bool ok = true;
    for (const Held &h : held_)
        ok = ok && MarkTagged(h.i, h.path, h.why, !flushedAll);
    held_.clear();
    return ok;
}

// The renaming's seams, its steps marked in the record.
RenameSeams RecordedRun::Marked() {
    RenameSeams r{seams_.rename, seams_.copy, seams_.trash, seams_.ask, seams_.progress, {}, {}};
    r.planned = [this](const std::vector<RenameSeams::Item> &items) {
        QJsonArray list;
        for (const RenameSeams::Item &it : items)
            list.append(QJsonObject{{"i", it.index}, {"temp", it.temp}, {"new", it.newName}});
        return journal_.Mark(MarkKind::RenamePlan, {{"files", list}});
    };
    r.moved = [this](int index, int phase) { journal_.Mark(MarkKind::Moved, {{"i", index}, {"phase", phase}}, false); };
    return r;
}

RenameResult RecordedRun::Rename() {
    const JournalState &st = journal_.State();
    QStringList entries;
    std::vector<RecordedMove> moves;
    for (int i = 0; i < static_cast<int>(st.files.size()); ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        entries << f.oldName;
        if (!f.temp.isEmpty())
            moves.push_back({i, f.temp, f.newName, f.ContentHash(), f.moved});
    }
    // A renaming whose plan is on the disk goes on from where its files are.
    const RenameResult result = st.renamePlanned ? ResumeRenaming(st.folder, entries, moves, Marked())
                                                 : RenameAlbum(st.folder, entries, st.renameOptions, Marked());
    SyncFolderOf(st.folder);
    journal_.Mark(MarkKind::Renamed);
    return result;
}

bool RecordedRun::WritePlaylist(QStringList *failed) {
    const JournalState &st = journal_.State();
    const QByteArray bytes = PlaylistBytes(FinalNames());
    const QString path = Path(st.playlistName);
    if (!journal_.Mark(MarkKind::Playlist, {{"bytes", B64(bytes)}}))
        return false;
    if (IsPlainName(st.playlistName) && !QFileInfo(path).isDir() &&
        ReplaceDurably(path, bytes, journal_.PathOf(QStringLiteral("liste.neu"))))
        return journal_.Mark(MarkKind::PlaylistDone);
    if (failed)
        *failed << QStringLiteral("%1: die Wiedergabeliste ließ sich nicht schreiben").arg(st.playlistName);
    return true;
}

// The album's directory entries in album order under their final names, for players
// that play a FAT folder as it lists. What goes wrong is reported, the files stay.
bool RecordedRun::WriteDirectoryOrder() {
    const JournalState &st = journal_.State();
    if (!journal_.Mark(MarkKind::DirOrder))
        return false;
    QStringList names;
    QSet<QString> seen;
    const QStringList now = FinalNames();
    for (int i = 0; i < static_cast<int>(st.files.size()); ++i)
        if (st.files[static_cast<size_t>(i)].present && QFileInfo(Path(now[i])).isFile() && !seen.contains(now[i])) {
            names << now[i];
            seen << now[i];
        }
    journal_.Close();  // the record moves out and back with the files
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
    return journal_.Mark(MarkKind::DirOrderDone, {{"problem", problem}});
}

bool RecordedRun::Finish(QStringList *failed) {
    const JournalState &st = journal_.State();
    if (st.playlist && !st.playlistDone && !WritePlaylist(failed))
        return false;
    if (st.dirOrder && !st.dirOrderDone) {
        if (!WriteDirectoryOrder())
            return false;
        if (failed && !st.dirOrderProblem.isEmpty())
            *failed << st.dirOrderProblem;
    }
    QJsonArray files;
    const QStringList names = FinalNames();
    for (int i = 0; i < static_cast<int>(st.files.size()); ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        if (!f.present)
            continue;
        const QFileInfo info(Path(names[i]));
        files.append(QJsonObject{{"i", i}, {"name", names[i]}, {"size", info.size()},
                                 {"time", info.lastModified().toMSecsSinceEpoch()}, {"hash", B64(f.ContentHash())}});
    }
    if (!journal_.Mark(MarkKind::Complete, {{"files", files}}))
        return false;
    journal_.Keep();  // where it cannot go, it stays in the album and works from there
    return true;
}

RepairResult RecordedRun::Forward() {
    const JournalState &st = journal_.State();
    if (st.rollingBack)
        return Back(false);
    r_ = RepairResult{};
    if (st.complete)
        return r_;
    const int count = static_cast<int>(st.files.size());
    auto oneUndoFile = std::make_unique<tags::fileops::UndoRecordReuse>();  // as in the run
    for (int i = 0; i < count && !st.renamePlanned; ++i) {
        const JournalFile &f = st.files[static_cast<size_t>(i)];
        if (!f.present || !f.writeTags || f.tagged)
            continue;
        Progress(i, count, f.oldName);
        const QString why = seams_.write(Path(f.oldName), RowsFromJson(f.begun ? f.rows : f.plannedRows));
        if (!MarkTagged(i, Path(f.oldName), why))
            return Fail(st.folder, kNoMark), r_;
    }
    oneUndoFile.reset();  // before the renaming moves files
    if (st.rename && !st.renamed) {
        r_.renaming = Rename();
        for (const RenameEntry &e : r_.renaming->entries)
            if (const QString why = RenameWhy(e); !why.isEmpty())
                Fail(e.oldName, why);
    }
    // Before the end mark: a repair killed after it would leave a finished record, which
    // no later repair looks at, beside what killed writers left.
    RemoveWriterLeftovers(st.folder);
    if (!Finish(&r_.failed))
        Fail(st.folder, kNoMark);
    for (const JournalFile &f : st.files) {
        r_.files += f.present ? 1 : 0;
        if (!f.skipped.isEmpty())
            r_.failed << QStringLiteral("%1: %2").arg(f.oldName, f.skipped);
    }
    r_.ok = r_.ok && r_.failed.isEmpty();
    return r_;
}

} // namespace album
