#pragma once
// Moving a file into the system's trash: GIO's trash on Linux (the home trash, or the
// top-directory trash of the file's own mount), the Recycle Bin on Windows. Nothing is
// ever deleted for good here: a file that cannot be put into a trash stays where it is
// under its name, and the answer says why.
#include <QString>

namespace platform {

struct TrashOutcome {
    bool ok = false;
    QString reason; // in German, for the user, when !ok
};

// Moves one file to the trash without asking. ok only once the file is gone from its
// place.
TrashOutcome MoveToTrash(const QString &path);

} // namespace platform
