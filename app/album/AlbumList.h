#pragma once
// Operations on the album list that need no main window: listing a folder and the
// three order moves. The moves work on any list widget and change its selection the
// way the arrow buttons and drag and drop expect.
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

class QListWidget;

namespace album {

// Files of this size or smaller are no MP3 files worth listing.
inline constexpr qint64 kMinimumFileSize = 50;

// Names of the files (not folders) matching "*.mp3" in any case, in ascending name
// order without regard to case. The folder is read once; no file is opened.
QStringList ListMp3Files(const QString &folder);

inline bool IsTooShort(qint64 size) { return size <= kMinimumFileSize; }

// Takes out the entries whose files in `folder` are too short. Each entry is selected in
// turn, as a click would (so that whoever follows the selection reads it); `yield` runs
// after each one. A file that vanished since the listing stays for the user to see. No
// entry is left selected after a removal at the end.
void RemoveTooShort(QListWidget *list, const QString &folder, const std::function<void()> &yield);

// Both return false (after the system beep) when nothing could move: at the end of
// the list or without a selection.
bool MoveListItemUp(QListWidget *list);
bool MoveListItemDown(QListWidget *list);

// Moves the selected entry to the place of the entry at `target`: it lands directly in
// front of that entry (one place higher when moving down). A negative target, no
// selection or a target past the end changes nothing. The moved entry stays selected.
void MoveListItemTo(QListWidget *list, qint16 target);

} // namespace album
