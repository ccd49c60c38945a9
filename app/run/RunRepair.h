#pragma once
// What follows a record of an album run: finishing a run that did not finish
// (in the order the user chose), putting the album back as it was before it,
// and the undo of the last finished run. Each is one loop over the record
// that decides from the files themselves (name, content hash) as well as from
// the marks, so each may be cut short and started again.

#include "AlbumRename.h"
#include "RunJournal.h"
#include "RunTexts.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace album {

// Writes one file's rows as the album run does (the ID3v1 writer, then the
// tag panel's write); why it failed, empty when it did not.
using RowsWriter = std::function<QString(const QString &path, const tagpanel::Rows &rows)>;
// The writer without a window: fresh tag objects and record for every file.
QString WriteRowsAlone(const QString &path, const tagpanel::Rows &rows);

struct RepairSeams {
    RowsWriter write;  // WriteRowsAlone by default
    // Before each file, with the position, the number of files, the file's
    // name; also where the window lets its events run.
    std::function<void(int index, int count, const QString &name)> progress;
    TrashFn trash;     // platform::MoveToTrash by default
    // The renaming run's seams, for the part of a run still to come.
    RenameFn rename;
    CopyFn copy;
    TrashQuestionFn ask;
};

struct RepairResult {
    bool ok = true;        // everything that was to be done is done
    int files = 0;         // files of the album that were put into their final state
    QStringList refused;   // undo: changed since the run, left as they are
    QStringList failed;    // "name: why"
    std::optional<RenameResult> renaming;  // when the renaming ran here
};

// The renaming of a recorded run with every step marked (the run driver's and
// the finishing's).
RenameResult RenameRecorded(RunJournal &journal, const RepairSeams &seams);
// The playlist and the completion mark after the renaming: from then on the
// record is the means to undo the run. False when a mark could not be written.
bool FinishRecorded(RunJournal &journal, QStringList *failed);

// Finishes the recorded run: the files not written yet, the renaming, the
// playlist. A record of a roll back goes on rolling back.
RepairResult RollForward(RunJournal &journal, const RepairSeams &seams = {});
// Puts every file back as it was before the run: names, whole contents
// (checked by hash), mode; the playlist as it was or none. What is moved out
// of the way goes to the trash. With `undo`, a file changed since the
// finished run (size, time or content) is left alone and named in `refused`.
// The record is removed once the album is back.
RepairResult RollBack(RunJournal &journal, bool undo, const RepairSeams &seams = {});

} // namespace album
