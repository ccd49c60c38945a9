#pragma once
// The album list's moves on the list widget: the arrow buttons, drag and drop, a new
// order from the sorting aids, and taking out files too short to be MP3 files. Each
// changes the selection the way the window expects.
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

class QListWidget;

namespace album {

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

// Puts the list's entries into `order` and keeps the selected entry selected. False
// (and nothing changed) when `order` does not hold exactly the list's entries.
bool ApplyOrder(QListWidget *list, const QStringList &order);

} // namespace album
