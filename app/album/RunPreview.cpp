#include "RunPreview.h"

#include "AlbumSort.h"
#include "TagPanel.h"

#include <QDialog>
#include <algorithm>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

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

QDialog *MakePreviewDialog(const std::vector<PreviewRow> &rows, QWidget *parent, const QString &playlistNote) {
    auto *dialog = new QDialog(parent);
    dialog->setObjectName(QStringLiteral("fVorschau"));
    dialog->setWindowTitle(QStringLiteral(" Vorschau"));
    const bool renaming = std::any_of(rows.begin(), rows.end(), [](const PreviewRow &r) { return !r.newName.isEmpty(); });
    QStringList headers{QStringLiteral("Nr."), QStringLiteral("Jetziger Name")};
    if (renaming)
        headers << QStringLiteral("Neuer Name");
    headers << QStringLiteral("Track") << QStringLiteral("Titel");
    const bool notes = std::any_of(rows.begin(), rows.end(), [](const PreviewRow &r) { return r.fate != NameFate::Fine; });
    if (notes)
        headers << QStringLiteral("Hinweis");
    auto *table = new QTableWidget(static_cast<int>(rows.size()), static_cast<int>(headers.size()), dialog);
    table->setObjectName(QStringLiteral("LVorschau"));
    table->setAccessibleName(QStringLiteral("Vorschau der Dateien"));
    table->setHorizontalHeaderLabels(headers);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    const QString kept = QStringLiteral("(unverändert)");
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const PreviewRow &r = rows[static_cast<size_t>(i)];
        QStringList cells{QString::number(r.position), r.presentName};
        if (renaming)
            cells << r.newName;
        const int trackColumn = static_cast<int>(cells.size());
        cells << r.track.value_or(kept) << r.title.value_or(kept);
        if (notes)
            cells << FateText(r.fate);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            const bool keeps = (c == trackColumn && !r.track) || (c == trackColumn + 1 && !r.title);
            if (keeps)
                item->setForeground(table->palette().brush(QPalette::Disabled, QPalette::Text));
            table->setItem(i, c, item);
        }
    }
    table->resizeColumnsToContents();
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Schließen"));
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto *col = new QVBoxLayout(dialog);
    if (!playlistNote.isEmpty()) {
        auto *note = new QLabel(playlistNote, dialog);
        note->setObjectName(QStringLiteral("LVorschauListe"));
        note->setWordWrap(true);
        col->addWidget(note);
    }
    col->addWidget(table, 1);
    col->addWidget(buttons);
    dialog->resize(720, 420);
    return dialog;
}

} // namespace album
