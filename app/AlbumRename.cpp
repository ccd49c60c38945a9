#include "AlbumWorkflow.h"

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

// Where a moving file is during the run.
enum class Place { Old, Temp, New };

struct Mover {
    int index = 0;  // into the entry list
    QString temp;
    Place place = Place::Old;
    bool active = true;  // still meant to reach its new name
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

} // namespace

RenameResult RenameAlbum(const QString &folder, const QStringList &entriesInOrder, const RenameOptions &options,
                         const RenameFn &renameFn, const ProgressFn &progressFn, const CopyFn &copyFn,
                         const TrashFn &trashFn, const TrashQuestionFn &ask, const RenameHooks &hooks) {
    const CopyFn copy = copyFn ? copyFn : CopyFn(CopyAndSync);
    const TrashFn trash = trashFn ? trashFn : TrashFn(platform::MoveToTrash);
    // The old file goes to the trash only once a complete copy stands beside it.
    // Returns why that failed, or nothing.
    auto copyThenTrash = [&](const QString &oldName, const QString &tempName) -> QString {
        const QString from = EntryPath(folder, oldName);
        const QString to = EntryPath(folder, tempName);
        QString reason = QStringLiteral("Die Kopie unter einem vorläufigen Namen ließ sich nicht anlegen "
                                        "(Ordner schreibgeschützt oder Datenträger voll?).");
        if (!Occupied(to)) {
            try {
                if (copy(from, to)) {
                    const platform::TrashOutcome trashed = trash(from);
                    // An old file that left its place despite a "no" is gone all the
                    // same: the copy is the one left and must go on to its new name.
                    if (trashed.ok || !Occupied(from))
                        return {};
                    reason = trashed.reason.isEmpty() ? QStringLiteral("Der Papierkorb nimmt die Datei nicht auf.")
                                                      : trashed.reason;
                }
            } catch (...) {
            }
        }
        // The temporary name was free before, so whatever is there now is ours.
        if (Occupied(to) && Occupied(from))
            QFile::remove(to);
        return reason;
    };
    const RenameFn rename = renameFn ? renameFn : RenameFn(platform::RenameFile);
    auto move = [&](const QString &fromName, const QString &toName) {
        const QString to = EntryPath(folder, toName);
        if (Occupied(to))
            return false;
        try {
            return rename(EntryPath(folder, fromName), to);
        } catch (...) {
            return false;  // a throwing file layer counts as a failed rename
        }
    };

    RenameResult result;
    const int n = static_cast<int>(entriesInOrder.size());
    result.entries.resize(static_cast<size_t>(n));

    // Without a folder, names alone would address the process's current
    // folder: then nothing is present and nothing moves.
    QSet<QString> present;
    if (!folder.isEmpty()) {
        const QDir dir(folder);
        const QStringList names =
            dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        present = QSet<QString>(names.begin(), names.end());
    }

    // Plan: which entries move, and where to.
    std::vector<Mover> movers;
    QHash<QString, int> moverByOld;   // old name -> index into movers
    QSet<QString> targets, seen, reserved;
    for (int i = 0; i < n; ++i) {
        RenameEntry &e = result.entries[static_cast<size_t>(i)];
        e.oldName = entriesInOrder[i];
        e.newName = NumberedName(i + 1, e.oldName, options.tFilename, options.useExistFile);
        e.finalName = e.oldName;
        reserved << e.oldName << e.newName;

        if (seen.contains(e.oldName)) {
            e.status = RenameStatus::Collision;  // listed twice: the first one moves it
            continue;
        }
        seen << e.oldName;
        if (!IsPlainName(e.oldName) || !present.contains(e.oldName) || QFileInfo(EntryPath(folder, e.oldName)).isDir()) {
            e.status = RenameStatus::Missing;
        } else if (e.newName == e.oldName) {
            e.status = RenameStatus::Unchanged;
        } else if (!IsPlainName(e.newName)) {
            e.status = RenameStatus::BadName;
        } else if (targets.contains(e.newName)) {
            e.status = RenameStatus::Collision;
        } else {
            targets << e.newName;
            moverByOld.insert(e.oldName, static_cast<int>(movers.size()));
            movers.push_back(Mover{i, {}, Place::Old, true});
        }
    }

    // A new name is free only if nothing is there, or the file there moves
    // away itself. Dropping one mover can block another, so repeat until stable.
    auto blocked = [&](const Mover &m, bool onDisk) {
        const QString &target = result.entries[static_cast<size_t>(m.index)].newName;
        const auto it = moverByOld.constFind(target);
        if (it != moverByOld.constEnd() && movers[static_cast<size_t>(*it)].active)
            return false;
        return onDisk ? Occupied(EntryPath(folder, target)) : present.contains(target);
    };
    auto settle = [&](bool onDisk, const std::function<void(Mover &)> &drop) {
        for (bool changed = true; changed;) {
            changed = false;
            for (Mover &m : movers) {
                if (m.active && blocked(m, onDisk)) {
                    m.active = false;
                    drop(m);
                    changed = true;
                }
            }
        }
    };
    settle(false, [&](Mover &m) { result.entries[static_cast<size_t>(m.index)].status = RenameStatus::Collision; });

    auto moved = [&](const Mover &m, int phase) {
        if (hooks.moved)
            hooks.moved(m.index, phase);
    };
    // Every temporary name is chosen before anything moves, so that a record
    // of the run knows them all.
    std::vector<RenameHooks::Item> plan;
    for (Mover &m : movers) {
        if (!m.active)
            continue;
        m.temp = TempNameFor(result.entries[static_cast<size_t>(m.index)].oldName, m.index, reserved, folder);
        reserved << m.temp;
        plan.push_back({m.index, m.temp, result.entries[static_cast<size_t>(m.index)].newName});
    }
    if (hooks.planned && !plan.empty() && !hooks.planned(plan)) {
        for (Mover &m : movers) {
            if (m.active)
                result.entries[static_cast<size_t>(m.index)].status = RenameStatus::Stopped;
            m.active = false;
        }
        result.stopped = true;
    }

    // Phase 1: every moving file copied to a temporary name and its old file
    // to the trash, so that no new name can meet an old one that has not moved yet.
    for (Mover &m : movers) {
        if (!m.active)
            continue;
        RenameEntry &e = result.entries[static_cast<size_t>(m.index)];
        if (result.stopped) {
            m.active = false;
            e.status = RenameStatus::Stopped;
            moved(m, -1);
            continue;
        }
        const QString reason = m.temp.isEmpty() ? QStringLiteral("Es fand sich kein freier vorläufiger Name.")
                                                : copyThenTrash(e.oldName, m.temp);
        if (reason.isEmpty()) {
            m.place = Place::Temp;
            e.finalName = m.temp;
            moved(m, 1);
            continue;
        }
        moved(m, -1);
        m.active = false;
        e.status = RenameStatus::Failed;
        e.reason = reason;
        if (ask) {
            bool goOn = false;  // a question that fails stops: nothing more leaves the folder
            try {
                goOn = ask(e.oldName, reason);
            } catch (...) {
            }
            result.stopped = !goOn;
        }
    }
    // A file that could not move still holds its name; whoever wanted that
    // name goes back to its own old name, which is still free.
    bool stranded = false;
    settle(true, [&](Mover &m) {
        RenameEntry &e = result.entries[static_cast<size_t>(m.index)];
        e.status = RenameStatus::Collision;
        if (m.place == Place::Temp && move(m.temp, e.oldName)) {
            m.place = Place::Old;
            e.finalName = e.oldName;
            moved(m, -1);
        } else if (m.place == Place::Temp) {
            stranded = true;  // the undo below tries again
        }
    });

    // Phase 2: every file from its temporary name to its new name.
    int count = 0;
    for (const Mover &m : movers)
        count += m.active ? 1 : 0;
    int done = 0;
    for (Mover &m : movers) {
        if (!m.active)
            continue;
        RenameEntry &e = result.entries[static_cast<size_t>(m.index)];
        if (progressFn) {
            // Files sit under temporary names now: nothing may cut this short.
            try {
                progressFn(done, count, e.oldName);
            } catch (...) {
            }
        }
        ++done;
        if (move(m.temp, e.newName)) {
            m.place = Place::New;
            e.finalName = e.newName;
            e.status = RenameStatus::Renamed;
            moved(m, 2);
        } else if (move(m.temp, e.oldName)) {
            m.active = false;
            m.place = Place::Old;
            e.finalName = e.oldName;
            e.status = RenameStatus::Failed;
            moved(m, -1);
        } else {
            // Its old name has been given to another file already.
            m.active = false;
            e.status = RenameStatus::Failed;
            stranded = true;
        }
    }

    if (stranded) {
        // Undo from the list of old names: every renamed file back to its
        // temporary name, then every temporary name back to its old name.
        for (Mover &m : movers) {
            if (m.place == Place::New && move(result.entries[static_cast<size_t>(m.index)].newName, m.temp))
                m.place = Place::Temp;
        }
        for (Mover &m : movers) {
            if (m.place != Place::Temp)
                continue;
            RenameEntry &e = result.entries[static_cast<size_t>(m.index)];
            if (move(m.temp, e.oldName)) {
                m.place = Place::Old;
                e.finalName = e.oldName;
                e.status = RenameStatus::RolledBack;
            } else if (move(m.temp, e.newName)) {
                m.place = Place::New;
                e.finalName = e.newName;
                e.status = RenameStatus::Renamed;
            } else {
                e.finalName = m.temp;
                e.status = RenameStatus::Stranded;
            }
        }
        for (Mover &m : movers) {
            if (m.place == Place::New)
                result.entries[static_cast<size_t>(m.index)].status = RenameStatus::Renamed;
        }
    }

    for (const RenameEntry &e : result.entries)
        result.renamed += e.status == RenameStatus::Renamed ? 1 : 0;
    if (!movers.empty())
        tags::fileops::SyncFolder(platform::FsPath(QDir(folder).absolutePath()));
    return result;
}

QString TrashQuestionText(const QString &name, const QString &reason) {
    return QStringLiteral("Die Datei \"%1\" kann nicht umbenannt werden:\n%2\n\n"
                          "Sie behält ihren alten Namen, es wurde nichts gelöscht.\n\n"
                          "Mit den übrigen Dateien fortfahren?")
        .arg(name, reason);
}

QString RenameReport(const RenameResult &result, const QString &folder) {
    QStringList kept, gone, stranded;
    for (const RenameEntry &e : result.entries) {
        QString why = e.reason;
        switch (e.status) {
        case RenameStatus::Renamed:
        case RenameStatus::Unchanged:
            continue;
        case RenameStatus::Missing:
            gone << QStringLiteral("  ") + e.oldName;
            continue;
        case RenameStatus::Stranded:
            stranded << QStringLiteral("  %1 (war %2) in %3").arg(e.finalName, e.oldName, QDir::toNativeSeparators(folder));
            continue;
        case RenameStatus::BadName:
            why = QStringLiteral("\"%1\" ist kein gültiger Dateiname").arg(e.newName);
            break;
        case RenameStatus::Collision:
            why = QStringLiteral("der Name \"%1\" ist vergeben").arg(e.newName);
            break;
        case RenameStatus::RolledBack:
            why = QStringLiteral("der Lauf wurde rückgängig gemacht");
            break;
        case RenameStatus::Stopped:
            why = QStringLiteral("der Lauf wurde abgebrochen");
            break;
        case RenameStatus::Failed:
            if (why.isEmpty())
                why = QStringLiteral("\"%1\" ließ sich nicht vergeben").arg(e.newName);
            break;
        }
        kept << QStringLiteral("  %1: %2").arg(e.oldName, why);
    }
    QStringList parts;
    if (!kept.isEmpty())
        parts << QStringLiteral("Diese Dateien behalten ihren Namen:\n") + kept.join(QLatin1Char('\n'));
    if (!stranded.isEmpty())
        parts << QStringLiteral("Diese Dateien liegen noch unter einem vorläufigen Namen:\n") +
                     stranded.join(QLatin1Char('\n'));
    if (!gone.isEmpty())
        parts << QStringLiteral("Diese Dateien waren nicht mehr im Ordner:\n") + gone.join(QLatin1Char('\n'));
    if (parts.isEmpty())
        return {};
    return QStringLiteral("Nicht alle Dateien wurden umbenannt.\n\n") + parts.join(QStringLiteral("\n\n"));
}

} // namespace album
