#pragma once
// The run's two dialogs: the question before it starts and the preview of what it does.
#include "RunPreview.h"

#include <QString>
#include <vector>

class QDialog;
class QWidget;

namespace album {

// The modal box with Yes, No and the warning icon; No is the default button. True for Yes.
bool AskYesNo(QWidget *parent, const QString &title, const QString &text);

// A dialog with the rows as a table ("Neuer Name" only when renaming, "Hinweis" only
// when a new name will fail), the playlist's note above it.
QDialog *MakePreviewDialog(const std::vector<PreviewRow> &rows, QWidget *parent, const QString &playlistNote = {});

} // namespace album
