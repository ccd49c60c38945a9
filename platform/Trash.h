#pragma once
// Moving a file into the system's trash: the freedesktop.org trash on Linux, the
// Recycle Bin on Windows. Nothing is ever deleted for good here: a file that cannot
// be put into a trash stays where it is, and the answer says why.
#include <QString>

namespace platform {

struct TrashOutcome {
    bool ok = false;
    QString trashedAs;  // where the file is now; on Linux under a trash's files/
    QString infoFile;   // its .trashinfo (Linux only)
    QString reason;     // in German, for the user, when !ok
};

// Moves one file to the trash without asking. On Linux the home trash
// ($XDG_DATA_HOME/Trash) takes files on the home's file system, the mount's own
// top-directory trash ($topdir/.Trash/$uid or $topdir/.Trash-$uid) all others;
// missing trash folders are created with mode 0700. ok only once the file is
// really in the trash and gone from its place.
TrashOutcome MoveToTrash(const QString &path);

} // namespace platform
