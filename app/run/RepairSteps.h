#pragma once
// What finishing a recorded run and putting the album back share.

#include "AlbumRename.h"
#include "AlbumWorkflow.h"
#include "RunRepair.h"

namespace album::repair {

// Why a repair stops: its record cannot be written to.
extern const QString kNoMark;

TrashFn TrashOf(const RepairSeams &s);
// Reports the file about to be handled; a failing report changes nothing.
void Progress(const RepairSeams &s, int index, int count, const QString &name);
// The name that holds a file's content now, of those the run may have given it;
// its content hash too. Empty when none does.
QString Locate(const RunJournal &j, const JournalFile &f, QByteArray *hash = nullptr);
// Notes that `name` failed and why; false.
bool Fail(RepairResult &r, const QString &name, const QString &why);

} // namespace album::repair
