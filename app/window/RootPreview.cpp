// The preview beside the continue button and the total behind the track. The rules
// live in RunPreview, shared with the run.
#include "AlbumRename.h"
#include "DragList.h"
#include "Root.h"
#include "RootAids.h"
#include "RunPreview.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

// Shows a control exactly while a page is shown (also while the window is not on screen).
class ShownWith : public QObject {
public:
    ShownWith(QWidget *page, QWidget *control) : QObject(control), m_control(control) {
        page->installEventFilter(this);
        control->setVisible(!page->isHidden());
    }
    bool eventFilter(QObject *, QEvent *e) override {
        if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent)
            m_control->setVisible(e->type() == QEvent::ShowToParent);
        return false;
    }

private:
    QWidget *m_control;
};

} // namespace

void Root::AddTrackTotal() {
    auto *track = Control<QLineEdit>(QStringLiteral("tTrack"));
    QWidget *holder = track ? track->parentWidget() : nullptr;
    QGridLayout *grid = holder ? holder->findChild<QGridLayout *>() : nullptr;
    const int index = grid ? grid->indexOf(track) : -1;
    if (index < 0)
        return;
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    auto *total = new QCheckBox(QStringLiteral("Gesamtzahl anhängen"), holder);
    total->setObjectName(QStringLiteral("bGesamtzahl"));
    total->setToolTip(QStringLiteral("Schreibt den Track mit der Zahl aller Dateien der Liste, z. B. \u201E3/12\u201C; "
                                     "ID3v1 behält die einfache Nummer (Alt+H)"));
    total->setAccessibleName(total->text());
    // The total shares the track's cell, so that the other fields keep their width.
    grid->removeWidget(track);
    auto *cell = new QHBoxLayout;
    cell->setContentsMargins(0, 0, 0, 0);
    cell->addWidget(track, 1);
    cell->addWidget(total);
    grid->addLayout(cell, row, column, rows, columns);
}

void Root::AddRunPreview() {
    auto *row = qobject_cast<QBoxLayout *>(m_continue->parentWidget() ? m_continue->parentWidget()->layout() : nullptr);
    if (!row)
        return;
    auto *preview = rootaids::AidButton(m_continue->parentWidget(), "bVorschau", QStringLiteral("Vorschau"),
                              QStringLiteral("Zeigt vor dem Schreiben jede Datei mit ihrem neuen Namen und dem Track und "
                                             "Titel, die geschrieben werden (Alt+S)"));
    preview->setIcon(QIcon::fromTheme(QStringLiteral("document-print-preview")));
    row->insertWidget(row->indexOf(m_continue), preview, 0, Qt::AlignVCenter);
    new ShownWith(m_pages[1], preview);
    connect(preview, &QPushButton::clicked, this, [this] {
        if (IsRunning() || m_list->count() == 0)
            return;
        QDialog *dialog = album::MakePreviewDialog(RunPreviewRows(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
    // The tag page says what the new controls do.
    if (auto *label = Control<QLabel>(QStringLiteral("Label2")))
        if (auto *inner = qobject_cast<QBoxLayout *>(label->parentWidget()->layout()))
            inner->insertWidget(inner->indexOf(label) + 1,
                                rootaids::HelpLabel(label->parentWidget(), "LabelVorschau",
                                          QStringLiteral("\u201EVorschau\u201C zeigt vor dem Schreiben jede Datei mit Track, "
                                                         "Titel und neuem Namen; \u201EGesamtzahl anhängen\u201C schreibt "
                                                         "den Track als \u201E3/12\u201C.")));
}

std::vector<album::PreviewRow> Root::RunPreviewRows() const {
    auto check = [this](const char *name) {
        const auto *c = Control<QCheckBox>(QString::fromLatin1(name));
        return c && c->isChecked();
    };
    auto text = [this](const char *name) {
        const auto *e = Control<QLineEdit>(QString::fromLatin1(name));
        return e ? e->text() : QString();
    };
    album::PreviewInput in;
    for (int i = 0; i < m_list->count(); ++i)
        in.entries << m_list->item(i)->text();
    in.selected = m_list->currentRow();
    in.wholeAlbum = check("bAlbumRefresh");
    in.writeTrack = check("bTrack");
    in.trackText = text("tTrack");
    in.appendTotal = check("bGesamtzahl");
    in.writeTitle = check("bTitel");
    in.titleText = text("tTitel");
    in.titleFromName = check("bFilesTitel");
    // The same condition as the run's.
    if (TagNumber(m_pages[2]) == 1 && check("bChangeFilename"))
        in.rename = album::RenameOptions{text("tFilename"), check("bUseExistFile")};
    return album::PreviewRows(in);
}
