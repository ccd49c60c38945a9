#include "AlbumRename.h"
#include "AlbumWorkflow.h"

#include "AlbumFile.h"
#include "DurableFile.h"
#include "FileOps.h"
#include "FileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>


namespace album {

namespace {

// Where a moving file's content is during the renaming.
enum class Place { Old, Temp, New };

struct Mover {
    int index = 0;  // into the entry list
    QString temp;
    Place place = Place::Old;
    bool oldThere = true;  // at Temp: its old file still stands under the old name
    bool active = true;    // still meant to reach its new name
};

// A visible name in the same folder that holds the old name, so that a file
// left there by a crash is still recognisable and still plays.
QString TempNameFor(const QString &oldName, int index, const QSet<QString> &reserved, const QString &folder) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString token = QString::number(QRandomGenerator::global()->generate(), 16);
        QString name = QStringLiteral("~%1~%2").arg(token, oldName);
        if (QFile::encodeName(name).size() > kMaxNameBytes)
            name = QStringLiteral("~%1~%2%3").arg(token).arg(index).arg(oldName.right(4));
        if (!reserved.contains(name) && !Occupied(EntryPath(folder, name)))
            return name;
    }
    return {};
}

// The renaming in its phases; a fresh one is planned from the list, a recorded one
// resumed from where its files are. Both then run the same way.
class Renamer {
public:
    Renamer(const QString &folder, const QStringList &entries, const RenameSeams &seams);
    void Plan(const RenameOptions &options);
    void Resume(const std::vector<RecordedMove> &moves);
    RenameResult Run();

private:
    RenameEntry &Entry(const Mover &m) { return result_.entries[static_cast<size_t>(m.index)]; }
    QString Path(const QString &name) const { return EntryPath(folder_, name); }
    void Moved(const Mover &m, int phase) {
        if (seams_.moved)
            seams_.moved(m.index, phase);
    }
    bool Move(const QString &fromName, const QString &toName);
    void ChooseTemps();
    void CopyAll();
    void DropCopy(Mover &m);
    QString TrashOld(Mover &m);
    void MoveAway();
    void Settle(bool onDisk, const std::function<void(Mover &)> &drop);
    void ToNewNames();
    bool FromTemp(Mover &m, Place to);
    void UndoAll();

    QString folder_;
    RenameSeams seams_;
    RenameResult result_;
    std::vector<Mover> movers_;
    QHash<QString, int> moverByOld_;  // old name -> index into movers_
    QSet<QString> present_;           // the folder's entries before the renaming
    bool stranded_ = false;
};

Renamer::Renamer(const QString &folder, const QStringList &entries, const RenameSeams &seams)
    : folder_(folder), seams_(seams) {
    if (!seams_.rename)
        seams_.rename = platform::RenameFile;
    if (!seams_.copy)
        seams_.copy = CopyUnflushed;
    if (!seams_.trash)
        seams_.trash = platform::MoveToTrash;
    result_.entries.resize(static_cast<size_t>(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i)
        result_.entries[static_cast<size_t>(i)].oldName = result_.entries[static_cast<size_t>(i)].finalName = entries[i];
    // Without a folder, names alone would address the process's current folder:
    // then nothing is present and nothing moves.
    if (!folder.isEmpty()) {
        const QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        present_ = QSet<QString>(names.begin(), names.end());
    }
}

bool Renamer::Move(const QString &fromName, const QString &toName) {
    const QString to = Path(toName);
    if (Occupied(to))
        return false;
    try {
        return seams_.rename(Path(fromName), to);
    } catch (...) {
        return false;  // a throwing file layer counts as a failed rename
    }
}

// Which entries move, and where to.
void Renamer::Plan(const RenameOptions &options) {
    QSet<QString> targets, seen;
    for (int i = 0; i < static_cast<int>(result_.entries.size()); ++i) {
        RenameEntry &e = result_.entries[static_cast<size_t>(i)];
        e.newName = NumberedName(i + 1, e.oldName, options.tFilename, options.useExistFile);
        if (seen.contains(e.oldName)) {
            e.status = RenameStatus::Collision;  // listed twice: the first one moves it
            continue;
        }
        seen << e.oldName;
        if (!IsPlainName(e.oldName) || !present_.contains(e.oldName) || QFileInfo(Path(e.oldName)).isDir()) {
            e.status = RenameStatus::Missing;
        } else if (e.newName == e.oldName) {
            e.status = RenameStatus::Unchanged;
        } else if (!IsPlainName(e.newName)) {
            e.status = RenameStatus::BadName;
        } else if (targets.contains(e.newName)) {
            e.status = RenameStatus::Collision;
        } else {
            targets << e.newName;
            moverByOld_.insert(e.oldName, static_cast<int>(movers_.size()));
            movers_.push_back(Mover{i, {}, Place::Old, true, true});
        }
    }
    Settle(false, [&](Mover &m) { Entry(m).status = RenameStatus::Collision; });
    ChooseTemps();
}

// Every temporary name is chosen before anything moves, so that a record knows them all.
void Renamer::ChooseTemps() {
    QSet<QString> reserved;
    for (const RenameEntry &e : result_.entries)
        reserved << e.oldName << e.newName;
    std::vector<RenameSeams::Item> plan;
    for (Mover &m : movers_) {
        if (!m.active)
            continue;
        m.temp = TempNameFor(Entry(m).oldName, m.index, reserved, folder_);
        reserved << m.temp;
        plan.push_back({m.index, m.temp, Entry(m).newName});
    }
    if (seams_.planned && !plan.empty() && !seams_.planned(plan)) {
        for (Mover &m : movers_) {
            if (m.active)
                Entry(m).status = RenameStatus::Stopped;
            m.active = false;
        }
        result_.stopped = true;
    }
}

// Each recorded move from wherever its content lies: a name holds it when its
// content hash is the file's.
void Renamer::Resume(const std::vector<RecordedMove> &moves) {
    for (const RecordedMove &rm : moves) {
        RenameEntry &e = result_.entries[static_cast<size_t>(rm.index)];
        e.newName = rm.newName;
        auto holds = [&](const QString &name) {
            return !name.isEmpty() && QFileInfo(Path(name)).isFile() && FileIs(Path(name), rm.hash);
        };
        Mover m{rm.index, rm.temp, Place::Old, true, true};
        if (rm.phase == 2 || rm.phase == -1 || (holds(rm.newName) && !holds(rm.temp) && !holds(e.oldName))) {
            const bool there = rm.phase != -1;
            e.status = there ? RenameStatus::Renamed : RenameStatus::Failed;
            e.finalName = there ? rm.newName : e.oldName;
            if (rm.phase == 0 || rm.phase == 1)
                Moved(m, 2);
            continue;
        }
        if (holds(rm.temp)) {
            m.place = Place::Temp;
            m.oldThere = holds(e.oldName);
            e.finalName = rm.temp;
        } else {
            QFile::remove(Path(rm.temp));  // a copy cut short: its name was made up for this renaming
            if (!holds(e.oldName)) {
                e.status = RenameStatus::Failed;
                e.reason = QStringLiteral("Die Datei ist weder unter ihrem alten noch unter ihrem neuen Namen.");
                continue;
            }
        }
        moverByOld_.insert(e.oldName, static_cast<int>(movers_.size()));
        movers_.push_back(m);
    }
}

// Phase 1a: the copies to the temporary names, flushed together (one flush of the file
// system where it has one), so that no old file leaves before its copy is on the disk.
// A mover whose copy failed stays at its old place.
void Renamer::CopyAll() {
    std::vector<Mover *> copied;
    for (Mover &m : movers_) {
        if (!m.active || m.temp.isEmpty() || m.place != Place::Old || Occupied(Path(m.temp)))
            continue;
        try {
            if (seams_.copy(Path(Entry(m).oldName), Path(m.temp))) {
                m.place = Place::Temp;
                copied.push_back(&m);
            }
        } catch (...) {
        }
    }
    if (copied.empty() || platform::SyncFileSystemOf(folder_))
        return;
    // A copy that cannot be flushed on its own (read-only on Windows) is made again,
    // flushed through the handle that wrote it.
    for (Mover *m : copied)
        if (!FlushFile(Path(m->temp))) {
            DropCopy(*m);
            if (CopyAndSync(Path(Entry(*m).oldName), Path(m->temp)))
                m->place = Place::Temp;
        }
}

// A copy whose old file stays: the temporary name was free before, so whatever is
// there now is ours.
void Renamer::DropCopy(Mover &m) {
    const QString from = Path(Entry(m).oldName), to = Path(m.temp);
    if (Occupied(to) && Occupied(from) && QFile::remove(to))
        Entry(m).finalName = Entry(m).oldName;
    m.place = Place::Old;
}

// Phase 1b: the old file goes to the trash, now that its complete copy stands beside
// it. Returns why that failed, or nothing.
QString Renamer::TrashOld(Mover &m) {
    const QString from = Path(Entry(m).oldName);
    QString reason = QStringLiteral("Die Kopie unter einem vorläufigen Namen ließ sich nicht anlegen "
                                    "(Ordner schreibgeschützt oder Datenträger voll?).");
    try {
        if (m.place == Place::Temp && m.oldThere) {
            const platform::TrashOutcome trashed = seams_.trash(from);
            // An old file that left its place despite a "no" is gone all the
            // same: the copy is the one left and must go on to its new name.
            m.oldThere = !trashed.ok && Occupied(from);
            if (m.oldThere)
                reason = trashed.reason.isEmpty() ? QStringLiteral("Der Papierkorb nimmt die Datei nicht auf.") : trashed.reason;
        }
        if (m.place == Place::Temp && !m.oldThere)
            return {};
    } catch (...) {
    }
    DropCopy(m);
    return reason;
}

// Phase 1: every moving file copied to its temporary name and its old file to the
// trash, so that no new name can meet an old one that has not moved yet.
void Renamer::MoveAway() {
    CopyAll();
    for (Mover &m : movers_) {
        if (!m.active)
            continue;
        RenameEntry &e = Entry(m);
        if (result_.stopped) {
            if (m.oldThere)
                DropCopy(m);
            m.active = false;
            e.status = RenameStatus::Stopped;
            Moved(m, -1);
            continue;
        }
        const QString reason = m.temp.isEmpty() ? QStringLiteral("Es fand sich kein freier vorläufiger Name.") : TrashOld(m);
        if (reason.isEmpty()) {
            e.finalName = m.temp;
            Moved(m, 1);
            continue;
        }
        Moved(m, -1);
        m.active = false;
        e.status = RenameStatus::Failed;
        e.reason = reason;
        if (seams_.ask) {
            bool goOn = false;  // a question that fails stops: nothing more leaves the folder
            try {
                goOn = seams_.ask(e.oldName, reason);
            } catch (...) {
            }
            result_.stopped = !goOn;
        }
    }
}

// A new name is free only if nothing is there, or the file there moves away
// itself. Dropping one mover can block another, so repeat until stable.
void Renamer::Settle(bool onDisk, const std::function<void(Mover &)> &drop) {
    auto blocked = [&](const Mover &m) {
        const QString &target = Entry(m).newName;
        const auto it = moverByOld_.constFind(target);
        if (it != moverByOld_.constEnd() && movers_[static_cast<size_t>(*it)].active)
            return false;
        return onDisk ? Occupied(Path(target)) : present_.contains(target);
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (Mover &m : movers_) {
            if (m.active && blocked(m)) {
                m.active = false;
                drop(m);
                changed = true;
            }
        }
    }
}

// Phase 2: every file from its temporary name to its new name.
void Renamer::ToNewNames() {
    int count = 0, done = 0;
    for (const Mover &m : movers_)
        count += m.active ? 1 : 0;
    for (Mover &m : movers_) {
        if (!m.active)
            continue;
        RenameEntry &e = Entry(m);
        if (seams_.progress) {
            // Files sit under temporary names now: nothing may cut this short.
            try {
                seams_.progress(done, count, e.oldName);
            } catch (...) {
            }
        }
        ++done;
        m.active = false;
        if (FromTemp(m, Place::New)) {
            e.status = RenameStatus::Renamed;
        } else {
            e.status = RenameStatus::Failed;
            stranded_ = !FromTemp(m, Place::Old) || stranded_;  // its old name given to another file already
        }
    }
}

// From the temporary name to the old name or the new one; its place, its final name
// and its mark follow.
bool Renamer::FromTemp(Mover &m, Place to) {
    RenameEntry &e = Entry(m);
    const QString &name = to == Place::New ? e.newName : e.oldName;
    if (!Move(m.temp, name))
        return false;
    m.place = to;
    e.finalName = name;
    Moved(m, to == Place::New ? 2 : -1);
    return true;
}

// Undone from the list of old names: every renamed file back to its temporary
// name, then every temporary name back to its old name.
void Renamer::UndoAll() {
    for (Mover &m : movers_)
        if (m.place == Place::New && Move(Entry(m).newName, m.temp)) {
            m.place = Place::Temp;
            Moved(m, 1);
        }
    for (Mover &m : movers_) {
        RenameEntry &e = Entry(m);
        if (m.place != Place::Temp)
            continue;
        if (FromTemp(m, Place::Old)) {
            e.status = RenameStatus::RolledBack;
        } else if (!FromTemp(m, Place::New)) {
            e.finalName = m.temp;
            e.status = RenameStatus::Stranded;
        }
    }
    for (Mover &m : movers_)
        if (m.place == Place::New)
            Entry(m).status = RenameStatus::Renamed;
}

RenameResult Renamer::Run() {
    MoveAway();
    // A file that could not move still holds its name; whoever wanted that
    // name goes back to its own old name, which is still free.
    Settle(true, [&](Mover &m) {
        Entry(m).status = RenameStatus::Collision;
        if (m.place == Place::Temp && !FromTemp(m, Place::Old))
            stranded_ = true;  // the undo below tries again
    });
    ToNewNames();
    if (stranded_)
        UndoAll();
    for (const RenameEntry &e : result_.entries)
        result_.renamed += e.status == RenameStatus::Renamed ? 1 : 0;
    if (!movers_.empty())
        tags::fileops::SyncFolder(platform::FsPath(QDir(folder_).absolutePath()));
    return result_;
}

} // namespace

RenameResult RenameAlbum(const QString &folder, const QStringList &entriesInOrder, const RenameOptions &options,
                         const RenameSeams &seams) {
    Renamer renamer(folder, entriesInOrder, seams);
    renamer.Plan(options);
    return renamer.Run();
}

RenameResult ResumeRenaming(const QString &folder, const QStringList &entriesInOrder,
                            const std::vector<RecordedMove> &moves, const RenameSeams &seams) {
    Renamer renamer(folder, entriesInOrder, seams);
    renamer.Resume(moves);
    return renamer.Run();
}

} // namespace album
