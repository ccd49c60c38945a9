// The preview beside the continue button and the total behind the track. The rules
// live in RunPreview, shared with the run.
#include "AlbumRename.h"
#include "DirectoryOrder.h"
#include "DragList.h"
#include "Root.h"
#include "RunDialogs.h"
#include "RunPreview.h"
#include "ui_Root.h"

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

void Root::AddRunPreview() {
    QPushButton *preview = m_ui->bVorschau;
    preview->setIcon(QIcon::fromTheme(QStringLiteral("document-print-preview")));
    new ShownWith(m_pages[1], preview);
    connect(preview, &QPushButton::clicked, this, [this] {
        if (IsRunning() || m_list->count() == 0)
            return;
        QDialog *dialog = album::MakePreviewDialog(RunPreviewRows(), this, album::PlaylistNote(RunPreviewInput()));
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
}

std::vector<album::PreviewRow> Root::RunPreviewRows() const { return album::PreviewRows(RunPreviewInput()); }

album::PreviewInput Root::RunPreviewInput() const {
    const Ui::Root &ui = *m_ui;
    album::PreviewInput in;
    for (int i = 0; i < m_list->count(); ++i)
        in.entries << m_list->item(i)->text();
    in.selected = m_list->currentRow();
    in.wholeAlbum = ui.bAlbumRefresh->isChecked();
    in.writeTrack = ui.bTrack->isChecked();
    in.trackText = ui.tTrack->text();
    in.appendTotal = ui.bGesamtzahl->isChecked();
    in.writeTitle = ui.bTitel->isChecked();
    in.titleText = ui.tTitel->text();
    in.titleFromName = ui.bFilesTitel->isChecked();
    if (in.wholeAlbum && ui.bJeCD->isChecked())
        for (const QString &entry : in.entries)
            in.discs.push_back(album::ReadSortKey(m_folder->text(), entry).disc);
    // The same condition as the run's.
    if (TagNumber(m_pages[2]) == 1 && ui.bChangeFilename->isChecked())
        in.rename = album::RenameOptions{ui.tFilename->text(), ui.bUseExistFile->isChecked()};
    if (in.wholeAlbum && ui.bPlayliste->isChecked())
        in.playlistName = ui.tAlbum->text() + QStringLiteral(".m3u");
    // Windows, FAT and exFAT refuse here what they refuse on a stick.
    in.strictHere = QSysInfo::productType() == QLatin1String("windows") || album::DirectoryOrder::Matters(m_folder->text());
    return in;
}
