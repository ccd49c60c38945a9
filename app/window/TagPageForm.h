#pragma once
// The tag page's controls: the field toggles with their text boxes, the value stores
// that hold what the file had (sArtist ... sTrack, shown nowhere) and the stream
// captions, reached through the form's typed pointers.
#include "Mp3InfoBridge.h"
#include "TagPanel.h"

#include <QString>

class QCheckBox;
namespace Ui {
class Root;
} // namespace Ui
namespace tags {
class Mp3TagID3v1;
class Mp3TagID3v2;
} // namespace tags

class TagPageForm {
public:
    explicit TagPageForm(const Ui::Root &ui) : m_ui(ui) {}

    // The field rows as they stand.
    tagpanel::Rows Rows() const;
    // The stream information and the tag texts of the stream reader into their captions.
    void ShowStreamInfo(const platform::Mp3InfoTexts &info) const;
    // The album list's tip from the value stores.
    QString Summary() const;
    // Empties the text boxes, the value stores and the stream captions.
    void Clear() const;
    // Clears, then reads the file's tags into the value stores and copies them into the
    // text boxes; each of the three steps goes on when the one before failed. An empty
    // path clears only.
    void Fill(const QString &path, tags::Mp3TagID3v2 &v2, tags::Mp3TagID3v1 &v1) const;
    // A field toggle changed: its text box is locked unless checked; checking the track
    // while the whole album is chosen also checks bTrackChange.
    void FieldToggled(const QCheckBox *toggle) const;
    // bTrackChange is only open with bAlbumRefresh checked.
    void AlbumRefreshToggled() const;

private:
    const Ui::Root &m_ui;
};
