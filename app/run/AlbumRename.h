#pragma once
// The renaming run: every file of the album to its numbered name, in two
// phases through temporary names, with nothing lost on any failure.

#include "Trash.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace album {


struct RenameOptions {
    QString tFilename;          // common new name, used when !useExistFile
    bool useExistFile = false;  // keep each file's present name behind the number
};

enum class RenameStatus {
    Renamed,        // now under its new name
    Unchanged,      // new name equals the present name; file untouched
    Missing,        // no such file in the folder; nothing done
    BadName,        // the new name is not a plain file name; old name kept
    Collision,      // the new name belongs to a file that stays; old name kept
    Failed,         // a copy, the trash or a rename failed; the file is back under its old name
    Stopped,        // the user stopped the run before this file; old name kept
    RolledBack,     // the run was undone; the file is back under its old name
    Stranded,       // could not be moved back: the file is under `finalName`,
                    // a temporary name in the folder (only if the folder itself
                    // stopped accepting renames halfway)
};

struct RenameEntry {
    QString oldName;
    QString newName;    // the name the scheme asked for
    QString finalName;  // the name the file has after the run
    RenameStatus status = RenameStatus::Unchanged;
    QString reason;     // why a file could not be moved away (copy or trash), for the user
};

struct RenameResult {
    std::vector<RenameEntry> entries;  // one per entry, in list order
    int renamed = 0;
    bool stopped = false;  // the user chose to stop after a file could not be moved away
};

// Renames `from` to `to` (full paths); must not replace an existing file.
using RenameFn = std::function<bool(const QString &from, const QString &to)>;
// Called before each file is moved to its new name: 0-based index among the
// files that move, their number, the file's present name.
using ProgressFn = std::function<void(int index, int count, const QString &name)>;

// Copies `from` to the new file `to` (full paths); must not replace a file. The
// renaming flushes the copies itself, all at once.
using CopyFn = std::function<bool(const QString &from, const QString &to)>;
// Moves a file to the trash without asking (platform::MoveToTrash by default).
using TrashFn = std::function<platform::TrashOutcome(const QString &path)>;
// Asked when a file cannot be moved away (its copy or its trash failed), with its
// name and the reason: true goes on with the other files, false stops; files that
// have already moved still reach their new names.
using TrashQuestionFn = std::function<bool(const QString &name, const QString &reason)>;

// What the renaming learns from and tells its record, and its file operations;
// empty members take the defaults (platform::RenameFile, CopyUnflushed,
// platform::MoveToTrash, no question: the others go on).
struct RenameSeams {
    RenameFn rename;
    CopyFn copy;
    TrashFn trash;
    TrashQuestionFn ask;
    ProgressFn progress;
    // Before the first file moves, every moving entry (its index, temporary and new
    // name); false stops the renaming before anything moved.
    struct Item {
        int index;
        QString temp, newName;
    };
    std::function<bool(const std::vector<Item> &)> planned;
    // Each entry that reached its temporary name (phase 1), its new name (2), or went
    // back to its old one (-1).
    std::function<void(int index, int phase)> moved;
};

// Gives every entry of the album its numbered name, in list order. Every file
// that needs a new name is first copied to a unique temporary name in the same
// folder; once the copies are on the disk the old files go to the trash, and only
// then does each copy move to its new name, so that no new name can meet an old one that has not moved
// yet. A file keeps its old name (and stays out of the trash) when its new
// name is its present name, is not a valid name, is taken by a file that is
// not moving away, or when the copy or the trash fails; then `ask` decides
// whether the others go on. When a file can neither reach its new name nor go
// back, the whole renaming is undone from the list of old names. Nothing is
// ever deleted for good or overwritten.
RenameResult RenameAlbum(const QString &folder, const QStringList &entriesInOrder, const RenameOptions &options,
                         const RenameSeams &seams = {});

// One move of a recorded renaming: the file's content hash tells where it is now.
struct RecordedMove {
    int index;
    QString temp, newName;
    QByteArray hash;
    int phase;  // as last recorded: 0 not yet moved, 1, 2 or -1 as RenameSeams::moved says
};
// The same renaming, finished from its record after a crash: every move goes on from
// wherever its content lies (old, temporary or new name), the same way.
RenameResult ResumeRenaming(const QString &folder, const QStringList &entriesInOrder,
                            const std::vector<RecordedMove> &moves, const RenameSeams &seams = {});

// The title of the renaming run's message boxes.
inline constexpr char16_t kRenameTitle[] = u" Dateien umbenennen";
// The question to `ask`, in German (this and what follows: RunTexts.cpp).
QString TrashQuestionText(const QString &name, const QString &reason);
// What the user must know after a run that could not rename every file: which
// files kept their names and why, and where stranded files are. Empty when
// every file that was to move did.
QString RenameReport(const RenameResult &result, const QString &folder);
// Why an entry did not reach its new name, for the user; empty when it did.
QString RenameWhy(const RenameEntry &e);

} // namespace album
