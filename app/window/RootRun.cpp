// The window's side of the album run: the plan from the pages, the steps the window
// lends the driver (selecting, the counter and the title in the fields, its own tag
// objects), and what it says afterwards. The run itself is album::AlbumRun's.
#include "Root.h"

#include "AlbumRename.h"
#include "AlbumRun.h"
#include "DragList.h"
#include "Mp3InfoBridge.h"
#include "RecordedRun.h"
#include "RunDialogs.h"
#include "RunJournal.h"
#include "RunView.h"
#include "ui_Root.h"

#include <QLineEdit>
#include <QListWidget>

#include <stdexcept>

album::RunPlan Root::PlanFromPages() const {
    const Ui::Root &ui = *m_ui;
    album::RunPlan plan;
    plan.folder = m_folder->text();
    for (int i = 0; i < m_list->count(); ++i)
        plan.entries << m_list->item(i)->text();
    plan.selected = m_list->currentRow();
    plan.wholeAlbum = ui.bAlbumRefresh->isChecked();
    plan.writePlaylist = ui.bPlayliste->isChecked();
    plan.albumText = [album = ui.tAlbum] { return album->text(); };
    plan.rows = album::RowsToJson(TagRows());
    plan.titleFromName = ui.bFilesTitel->isChecked();
    plan.directoryOrder = ui.bGeraeteOrdnung->isChecked();
    plan.perDisc = ui.bJeCD->isChecked();
    if (TagNumber(m_pages[2]) == 1 && ui.bChangeFilename->isChecked())
        plan.rename = album::RenameOptions{ui.tFilename->text(), ui.bUseExistFile->isChecked()};
    return plan;
}

album::FileSteps Root::RunSteps() {
    album::FileSteps steps;
    steps.select = [this](const album::RunFile &f) { m_list->setCurrentRow(f.index); };
    steps.countTrack = [track = m_ui->tTrack](const album::RunFile &f) {
        track->setText(f.newDisc ? f.planned.value("tTrack").toString() : album::NextTrackText(track->text(), QLocale()));
    };
    steps.makeWritable = [](const album::RunFile &f) { album::MakeWritable(f.path); };
    steps.titleFromName = [this](const album::RunFile &f) {
        if (m_ui->bFilesTitel->isChecked())
            m_ui->tTitel->setText(album::TitleFromFileName(f.entry));
    };
    steps.writeId3v1 = [this](const album::RunFile &f) {
        if (!platform::WriteId3v1Rows(f.path, tagpanel::ToId3v1Rows(TagRows()), m_record))
            throw std::runtime_error("ID3v1 writer failed");
    };
    steps.writeTags = [this](const album::RunFile &f) { WriteTagsOf(f.path); };
    // A recorded run writes the rows it recorded for the file (per disc, that disc's total).
    steps.writeRows = [this](const album::RunFile &f, const QJsonObject &json) {
        return album::WriteRows(f.path, album::RowsFromJson(json), m_record, TagV1(), TagV2());
    };
    steps.rows = [this](const album::RunFile &f) {
        QJsonObject rows = album::RowsToJson(TagRows());
        rows["trackTotal"] = f.planned.value("trackTotal");  // per disc: that disc's files
        return rows;
    };
    return steps;
}

void Root::ContinueOnTagPage() {
    if (m_run.IsRunning() || m_repairing || m_list->count() == 0)
        return;
    StopSorting(); // the run goes first; the files are not read meanwhile
    const album::RunPlan plan = PlanFromPages();
    m_run.SetSteps(RunSteps());
    m_run.SetConfirm(m_confirm ? m_confirm : album::ConfirmFn([this](const QString &title, const QString &text) {
        return album::AskYesNo(this, title, text);
    }));
    m_run.SetLock([this](bool locked) { LockForRun(locked); });
    m_run.SetProgress([this](int index, int count, const QString &) { ShowRunProgress(index, count); });
    m_run.SetTrashQuestion([this](const QString &name, const QString &reason) { return AskGoOnAfterFailure(name, reason); });
    m_lastRun = m_run.Run(plan);
    AfterRun(plan);
}

void Root::AfterRun(const album::RunPlan &plan) {
    // A renaming that left files behind is never silent; stranded files are named with their place.
    QString report = m_lastRun.renaming ? album::RenameReport(*m_lastRun.renaming, plan.folder) : QString();
    // A run that could not start is never silent either. A step that failed for one
    // file is skipped without a word, as the tag writing always was; the run's record
    // keeps it, so that the undo stays exact.
    if (!m_lastRun.problem.isEmpty())
        report += (report.isEmpty() ? QString() : QStringLiteral("\n\n")) + m_lastRun.problem;

    const QString title = m_lastRun.renaming ? QString::fromUtf16(album::kRenameTitle) : album::ConfirmTitle();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        if (!report.isEmpty())
            Notice(title, report);
        close();
        return;
    }
    const bool albumDone = plan.wholeAlbum && m_lastRun.outcome == album::RunOutcome::Done;
    if (albumDone || m_lastRun.renaming.has_value())
        ReloadAlbum();
    if (!report.isEmpty())
        Notice(title, report);
}
