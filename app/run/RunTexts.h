#pragma once
// What the window and the terminal say about a recorded run, in German.

#include "RunJournal.h"

#include <QString>

namespace album {

struct RepairResult;

// The question after a run that did not finish: how many files are done, that
// the chosen order is kept.
QString UnfinishedText(const JournalState &state);
// The caption of the window's button that undoes the last finished run.
QString UndoRunButtonText();
// What a repair did: how many files, which were left alone and why, what failed.
QString RepairReport(const RepairResult &r, bool forward, bool undo);

} // namespace album
