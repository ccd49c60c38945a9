// The window's side of the run's record: the question after a run that did not
// finish, the undo button of the introduction page, and the progress of both.
// The work itself is in RecordedRun.

#include "AlbumRun.h"
#include "DragList.h"
#include "RecordedRun.h"
#include "Root.h"
#include "RunDialogs.h"
#include "RunTexts.h"
#include "ui_Root.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QScopeGuard>
#include <QTimer>

namespace {

// The entries in the order of `names`; the others after them, as they are.
void ShowInOrder(QListWidget *list, const QStringList &names) {
    QStringList now;
    for (int i = 0; i < list->count(); ++i)
        now << list->item(i)->text();
    QStringList ordered;
    for (const QString &n : names)
        if (now.contains(n) && !ordered.contains(n))
            ordered << n;
    for (const QString &n : now)
        if (!ordered.contains(n))
            ordered << n;
    if (ordered == now)
        return;
    const QSignalBlocker quiet(list);
    list->clear();
    list->addItems(ordered);
    list->setCurrentRow(0);
}

} // namespace

void Root::AddRunRecord() {
    m_undoRun = m_ui->bUndoRun;
    auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), m_undoRun);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, m_undoRun, &QPushButton::click);
    m_undoRun->setAccessibleDescription(shortcut->key().toString(QKeySequence::NativeText));
    connect(m_undoRun, &QPushButton::clicked, this, &Root::UndoLastRun);
    OfferRecoverySoon();
}

void Root::OfferRecoverySoon(int ms) {
    if (!m_offerTimer) {
        m_offerTimer = new QTimer(this);
        m_offerTimer->setSingleShot(true);
        connect(m_offerTimer, &QTimer::timeout, this, &Root::OfferRecovery);
    }
    // One look for all requests, at the soonest time any of them asks for: a retry
    // waiting for the list does not hold back the look after a finished load.
    if (!m_offerTimer->isActive() || m_offerTimer->remainingTime() > ms)
        m_offerTimer->start(ms);
}

void Root::OfferRecovery() {
    const QString folder = m_folder->text();
    if (!m_undoRun || m_repairing || IsRunning() || m_offering || m_closing)
        return;  // AddRunRecord asks once more at its end
    if (m_loading || m_checking) {
        OfferRecoverySoon(50);  // once the list stands
        return;
    }
    album::RunJournal journal;
    const bool found = journal.Load(folder);
    m_undoRun->setEnabled(found && journal.State().complete);
    if (!found || journal.State().complete)
        return;
    int choice = 0;
    m_offering = true;
    const auto offered = qScopeGuard([this] { m_offering = false; });
    if (m_recoveryChoice) {
        try {
            choice = m_recoveryChoice(album::UnfinishedText(journal.State()));
        } catch (...) {
        }
    } else {
        QMessageBox box(QMessageBox::Warning, album::ConfirmTitle(), album::UnfinishedText(journal.State()),
                        QMessageBox::NoButton, this);
        QPushButton *forward = box.addButton(QStringLiteral("Fortsetzen"), QMessageBox::AcceptRole);
        QPushButton *back = box.addButton(QStringLiteral("Rückgängig machen"), QMessageBox::DestructiveRole);
        QPushButton *later = box.addButton(QStringLiteral("Später"), QMessageBox::RejectRole);
        box.setDefaultButton(later);
        box.setEscapeButton(later);
        box.exec();
        choice = box.clickedButton() == forward ? 1 : box.clickedButton() == back ? 2 : 0;
    }
    if (choice != 0)
        RepairRun(choice == 1, false);
}

void Root::UndoLastRun() {
    const QString folder = m_folder->text();
    if (m_repairing || IsRunning() || !album::RunJournal::Exists(folder))
        return;
    const QString question = QStringLiteral("Den letzten Durchlauf in diesem Ordner rückgängig machen?\n\n"
                                            "Alle Dateien bekommen ihre alten Namen und Tags zurück; was dabei ersetzt "
                                            "wird, kommt in den Papierkorb.");
    const bool yes = m_confirm ? m_confirm(album::ConfirmTitle(), question)
                               : album::AskYesNo(this, album::ConfirmTitle(), question);
    if (yes)
        RepairRun(false, true);
}

void Root::RepairRun(bool forward, bool undo) {
    const QString folder = m_folder->text();
    album::RepairSeams seams;
    seams.progress = [this](int index, int count, const QString &) {
        ShowRunProgress(index, count);
        QCoreApplication::processEvents();
    };
    album::RecordedRun run(seams);
    if (m_repairing || !run.Load(folder))
        return;
    m_repairing = true;
    LockForRun(true);
    QCoreApplication::processEvents();
    const album::RepairResult r = forward ? run.Forward() : run.Back(undo);
    QStringList order;
    for (const album::JournalFile &f : run.State().files)
        order << (forward ? (f.moved == 2 ? f.newName : f.oldName) : f.oldName);
    LockForRun(false);
    m_repairing = false;
    ReloadAlbum();
    ShowInOrder(m_list, order);
    Notice(album::ConfirmTitle(), album::RepairReport(r, forward, undo));
}
