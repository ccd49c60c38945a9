#include "RunDialogs.h"
#include "NameCheck.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace album {

bool AskYesNo(QWidget *parent, const QString &title, const QString &text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    // The run cannot be undone: a stray Enter must not start it.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
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
