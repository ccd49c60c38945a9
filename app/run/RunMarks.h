#pragma once
// The marks of a run's record: one JSON line each after the plan, {"m": NAME, ...}.
// Every kind, the word it has in the record and its fields stand here alone.
//
// A run goes through them in this order; a mark names a step that is done:
//
//   plan ─▶ Begin(i) ─▶ Tagged(i) ─▶ … every file … ─▶ RenamePlan ─▶ Moved(i, phase) …
//        ─▶ Renamed ─▶ Playlist ─▶ PlaylistDone ─▶ DirOrder ─▶ DirOrderDone ─▶ Complete
//
// Steps the run does not take leave their marks out. Until Complete a repair may go on
// forward (finish it) or mark Rollback and go back; Rollback also starts the undo of a
// completed run. Moved's phase: 1 at the temporary name, 2 at the new name, -1 back at
// the old one.
#include <QString>

#include <iterator>
#include <optional>

namespace album {

enum class MarkKind {
    Begin,        // i, rows: file i is about to be written with these rows
    Tagged,       // i, hash, skip: file i written (its new hash), or skipped and why
    RenamePlan,   // files: [{i, temp, new}] the renaming's temporary and new names
    Moved,        // i, phase: where file i stands in the renaming
    Renamed,      // the renaming is over
    Playlist,     // bytes: the playlist about to be written
    PlaylistDone, //
    DirOrder,     // the directory's entries are being put in album order
    DirOrderDone, // problem: what the directory order lacks, if anything
    Complete,     // files: [{i, name, size, time, hash}] the run's result, which its undo checks
    Rollback,     // a repair or an undo goes back from here on
};

// The words in the record, in the order of MarkKind.
inline constexpr const char *kMarkNames[] = {"begin",    "tagged",       "renamePlan", "moved",
                                             "renamed",  "playlist",     "playlistDone", "dirOrder",
                                             "dirOrderDone", "complete", "rollback"};

inline const char *MarkName(MarkKind k) { return kMarkNames[static_cast<int>(k)]; }

inline std::optional<MarkKind> MarkFromName(const QString &name) {
    for (int k = 0; k < static_cast<int>(std::size(kMarkNames)); ++k)
        if (name == QLatin1String(kMarkNames[k]))
            return static_cast<MarkKind>(k);
    return std::nullopt;
}

} // namespace album
