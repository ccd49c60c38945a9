#pragma once
// The album run from a terminal, without a window or a display:
//   sortimentor --run [options] FOLDER [FILE...]
// It makes the same plan as the window's tag page and hands it to the same driver,
// so that a file comes out byte for byte as a window run with the same choices
// leaves it, and `--undo` takes it back the same way.

#include <QStringList>

#include <cstdio>

namespace headless {

// Whether the arguments ask for it.
bool WantsRun(const QStringList &args);
// Runs the album and prints one line per file and a summary on `out`; 0 when every
// file came out as asked, 1 when something was skipped, 2 on wrong usage.
int RunAlbum(const QStringList &args, FILE *out, FILE *err);
// What the terminal offers, in German.
QString HelpText();

} // namespace headless
