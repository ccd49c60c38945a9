#pragma once
// The terminal's way to the run's record, without a window or a display:
//   --recover [--rollback] FOLDER   finish an interrupted run (or put it back)
//   --undo FOLDER                   undo the last finished run
//   --run [options] FOLDER [FILE...] the album run (TerminalRun.h)
//   --help, --version               all of it in German, the program's version

#include <QStringList>

#include <cstdio>

namespace headless {

// Whether the arguments (without the program name) ask for the terminal.
bool Wanted(const QStringList &args);
// Does what they ask and says so on `out`; 0 done, 1 something failed,
// 2 wrong usage.
int Run(const QStringList &args, FILE *out, FILE *err);

} // namespace headless
