#include "RunPreview.h"

#include "AlbumSort.h"
#include "TagPanel.h"

#include <algorithm>

namespace album {

std::vector<PreviewRow> PreviewRows(const PreviewInput &in) {
    std::vector<PreviewRow> rows;
    const int n = static_cast<int>(in.entries.size());
    // The album run counts on from the second file; a single write takes the text as it is.
    const QStringList tracks = CountedTracks(in.trackText, n, in.discs, in.locale);
    const std::vector<int> totals = DiscSizes(n, in.discs);
    for (int i = 0; i < n; ++i) {
        PreviewRow r;
        r.position = i + 1;
        r.presentName = in.entries[i];
        if (in.rename) {
            r.newName = NumberedName(i + 1, r.presentName, in.rename->tFilename, in.rename->useExistFile);
            if (r.newName != r.presentName)
                r.fate = FateOfName(r.newName, in.strictHere);
        }
        if (in.wholeAlbum || i == in.selected) {
            const QString track = in.wholeAlbum ? tracks[i] : in.trackText;
            if (in.writeTrack)
                r.track = in.appendTotal ? tagpanel::TrackWithTotal(track, totals[static_cast<size_t>(i)]) : track;
            if (in.writeTitle)
                r.title = in.wholeAlbum && in.titleFromName ? TitleFromFileName(r.presentName) : in.titleText;
        }
        rows.push_back(r);
    }
    return rows;
}

QString PlaylistNote(const PreviewInput &in) {
    if (in.playlistName.isEmpty())
        return {};
    const NameFate fate = FateOfName(in.playlistName, in.strictHere);
    if (fate == NameFate::Fine)
        return {};
    return QStringLiteral("Wiedergabeliste \u201E%1\u201C: %2")
        .arg(in.playlistName,
             fate == NameFate::KeepsOldName ? QStringLiteral("ungültiger Name, sie wird nicht geschrieben") : FateText(fate));
}

} // namespace album
