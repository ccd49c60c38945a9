#pragma once
// What a click on continue on the tag page is about to do, file by file, worked out
// with the same rules the run applies (track counter, title from the name, numbered
// names, the total behind the track), so that the table cannot tell another story
// than the files afterwards.
#include "AlbumRename.h"
#include "AlbumWorkflow.h"
#include "NameCheck.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace album {

// The options of the pages as they stand.
struct PreviewInput {
    QStringList entries;
    int selected = 0;        // the file of a single-file write
    bool wholeAlbum = true;
    bool writeTrack = false; // bTrack
    QString trackText;       // tTrack: the first file's track, counted on from there
    bool appendTotal = false;
    bool writeTitle = false; // bTitel
    QString titleText;       // tTitel
    bool titleFromName = false;
    std::vector<int> discs;  // per disc: each file's disc number; empty: one count for all
    std::optional<RenameOptions> rename;
    QString playlistName;    // the playlist's name, empty without one
    bool strictHere = false; // the folder lies on Windows, FAT or exFAT
    QLocale locale;
};

struct PreviewRow {
    int position = 0;        // 1-based
    QString presentName;
    QString newName;         // empty without renaming
    std::optional<QString> track, title; // nothing: the file keeps its own
    NameFate fate = NameFate::Fine;      // of the new name
};

// One row per entry, in list order.
std::vector<PreviewRow> PreviewRows(const PreviewInput &in);

// What the preview says of the playlist's name; empty when it is fine or there is none.
QString PlaylistNote(const PreviewInput &in);

} // namespace album
