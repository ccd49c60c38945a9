#pragma once
// The order of a folder's directory entries, for players that ignore tags and names
// and play files as the FAT directory lists them. On FAT a new entry takes the first
// free slot, so moving the folder's entries out into a holding folder on the same file
// system and back, the album first and in album order, rewrites them in that order
// without copying any data. Entries keep their names throughout; the holding folder
// (beside the album folder, inside it at the top of a device), with a note naming the
// album folder, is all a crashed run leaves, and Recover empties it.
#include <QString>
#include <QStringList>

#include <functional>

namespace album {

struct DirectoryOrderResult {
    bool done = false;      // every file went out and came back
    bool inOrder = false;   // read back: the files are listed in the order asked for
    QStringList stranded;   // still in the holding folder (under their own names)
    QString error;          // why nothing was done, for the user
};

class DirectoryOrder {
public:
    // True on FAT and exFAT, where the order of the entries is what simple players use.
    static bool Matters(const QString &folder);
    // The folder inside the album folder that holds the files while they move.
    static QString HoldingFolder(const QString &folder);
    // The regular files of the folder in the order the file system lists them.
    static QStringList ListedOrder(const QString &folder);
    // Rewrites the entries of `names` (files of the folder) in that order; the folder's
    // other entries follow them. An entry that cannot go out brings the ones before it
    // back and ends the run; one that cannot come back stays in the holding folder and
    // is named in `stranded`.
    static DirectoryOrderResult Apply(const QString &folder, const QStringList &names);
    // Moves back every file a broken run left in the holding folder; true when the
    // holding folder is gone afterwards (or was never there).
    static bool Recover(const QString &folder);
    // True while a holding folder of this album folder is there: a run was cut short.
    static bool Interrupted(const QString &folder);
    // Seam for tests: decides in place of the file system's type (empty: the type decides).
    static void SetMatters(std::function<bool(const QString &folder)> matters);
    // Seam for tests: called after every entry that Apply has moved, with how many.
    static void SetMoveHook(std::function<void(int moves)> hook);
};

} // namespace album
