// The guided pages' slots: the help panel and the page watcher, the continue button's
// page moves, the tag page and the file-name options. The rules live in HelpPanel,
// TagPageForm and RenamePageForm, given the form's controls.
#include "AlbumRename.h"
#include "DragList.h"
#include "FileUtils.h"
#include "Mp3InfoBridge.h"
#include "RenamePageForm.h"
#include "Root.h"
#include "Step.h"
#include "TagPageForm.h"
#include "Tooltips_Class.h"
#include "ui_Root.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

using rootstep::Step;

} // namespace

// ---------------------------------------------------------------------------
// Help panel and page watcher

helppanel::Pages Root::PageStates() const {
    helppanel::Pages p;
    p.intro = PageShown(m_pages[3]);
    p.names = PageShown(m_pages[2]);
    p.tags = PageShown(m_pages[1]);
    p.folderState = TagNumber(m_folderFrame);
    p.namesState = TagNumber(m_pages[2]);
    return p;
}

void Root::InfoHelpText() {
    const helppanel::Help help = helppanel::ForPages(PageStates());
    SetHelpIcon(help.icon);
    m_helpCaption->setText(help.text);
    m_helpTitle->setText(help.title);
}

void Root::Timer1Tick() {
    const helppanel::Tick tick = helppanel::WatchTick(PageStates(), [this] {
        const QString folder = m_folder->text();
        return !folder.isEmpty() && platform::PathExists(folder);
    });
    if (tick.onIntro) {
        for (QWidget *w : {static_cast<QWidget *>(m_continue), static_cast<QWidget *>(m_list), static_cast<QWidget *>(m_up),
                           static_cast<QWidget *>(m_down)})
            w->setEnabled(tick.hasFiles);
        InfoHelpText();
    }
    SetHelpIcon(tick.icon);
    if (tick.namesSeen)
        SetTag(m_pages[2], QStringLiteral("1"));
}

// ---------------------------------------------------------------------------
// Continue button

void Root::bStartenClick() {
    if (m_run.IsRunning())
        return; // a click that arrived while a run works starts nothing
    Step([&] {
        if (PageShown(m_pages[3])) {
            m_pages[3]->hide();
            m_pages[2]->show();
            InfoHelpText();
            if (TagNumber(m_pages[2]) == 2)
                SetHelpIcon(6);
            if (m_list->count() >= 2) {
                m_ui->bAlbumRefresh->setChecked(true);
                bAlbumRefreshClick();
            }
            return;
        }
        if (PageShown(m_pages[2])) {
            m_pages[2]->hide();
            m_pages[1]->show();
            InfoHelpText();
            SetTag(m_pages[2], QStringLiteral("1"));
            return;
        }
        if (PageShown(m_pages[1])) {
            InfoHelpText();
            SetTag(m_pages[1], QStringLiteral("1"));
        }
        ContinueOnTagPage();
    });
}

// ---------------------------------------------------------------------------
// Tag panel

QString Root::SelectedPath() const {
    const QListWidgetItem *item = m_list->currentItem();
    if (!item || m_list->currentRow() < 0)
        return {};
    return album::EntryPath(m_folder->text(), item->text());
}

tagpanel::Rows Root::TagRows() const {
    tagpanel::Rows rows = TagPageForm(*m_ui).Rows();
    rows.trackTotal = m_ui->bGesamtzahl->isChecked() ? m_list->count() : 0;
    return rows;
}

void Root::LDateienClick() {
    if (TagNumber(m_list) == 2)
        return; // the program itself is selecting entries
    const TagPageForm form(*m_ui);
    Step([&] { form.ShowStreamInfo(platform::ReadMp3Information(SelectedPath(), m_record)); });
    Step([&] { QCoreApplication::processEvents(); });
    Step([&] { GetMp3Info(); });
    Step([&] { m_tips->SetTipText(m_list, form.Summary()); });
}

void Root::GetMp3Info() {
    if (m_list->count() == 0)
        return;
    TagPageForm(*m_ui).Fill(SelectedPath(), TagV2(), TagV1());
}

void Root::WriteTagsOf(const QString &path) { tagpanel::WriteFields(path, TagRows(), TagV1(), TagV2()); }

void Root::FieldToggleClick(QCheckBox *toggle) {
    if (!toggle)
        return;
    TagPageForm(*m_ui).FieldToggled(toggle);
    SetHelpIcon(8);
}

void Root::bAlbumRefreshClick() { TagPageForm(*m_ui).AlbumRefreshToggled(); }

// ---------------------------------------------------------------------------
// Renaming options

void Root::bChangeFilenameClick() {
    const RenamePageForm::Change change = RenamePageForm(*m_ui).ChangeFilenameClicked();
    SetTag(m_pages[2], change.state);
    if (change.backToNamesStep)
        SetHelpIcon(5);
}

void Root::bUseExistFileClick() {
    if (!RenamePageForm(*m_ui).UseExistFileClicked(m_list->currentItem()))
        return;
    Notice(QString::fromUtf16(album::kRenameTitle), RenamePageForm::OwnNamesNotice());
    SetTag(m_pages[2], QStringLiteral("2"));
}

void Root::tFilenameChange() { SetTag(m_pages[2], RenamePageForm(*m_ui).StateForName()); }
