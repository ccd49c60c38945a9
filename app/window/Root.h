#pragma once
// The program's one working window: album list, guided pages, help panel.
// Controls carry their classic names as object names; arrays are numbered without
// brackets (xpFrames3, pSymbole0, sAnzeige1). Each control's "tag text" is the dynamic
// property "tag" (see TagOf/SetTag).
//
// What the system's own names stand for:
//   tOrdner, bOrdner   the album folder's text (read-only; "\"-ended, native) and its picker
//   LDateien           the album list in playing order; LFiledata, never shown, the folder's listing
//   bAufwärts/bAbwärts the arrow buttons (accessors bAufwaerts(), bAbwaerts())
//   xpFrame0           the folder frame; tag text "1" once the list holds files, else "0"
//   xpFrames(3..1)     the guided pages counted down: 3 the order, 2 the file names, 1 the
//                      tags (shown last); pSeite0 stores controls that are never shown
//   bStarten           " Fortfahren": the next page, or on page 1 the run
//   tag texts          pages: "0" not yet visited, "1" visited; page 2 also "2" once a
//                      renaming with a name of three letters or more is chosen (help icon 6).
//                      LDateien: "2" while it is being filled, "1" when it is complete
//   pSymbole1..10      the help panel's pictures; HelpIcon() is the one shown
//   Root.ui            every control; the code reaches them through m_ui's typed pointers
//   error numbers      the tag engine's TagError: 5 an invalid argument, 0x80041001 "not a
//                      valid MP3 file", otherwise the system's (errno, GetLastError)
#include "AlbumRun.h"
#include "AlbumSort.h"
#include "AlbumWorkflow.h"
#include "ControlTag.h"
#include "HelpPanel.h"
#include "Mp3Info.h"
#include "RunPreview.h"
#include "TagPanel.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

namespace Ui {
class Root;
}

class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;
class Tooltips_Class;
namespace platform { class DragList; }
namespace tags {
class Mp3TagID3v1;
class Mp3TagID3v2;
} // namespace tags

class Root : public QMainWindow {
    Q_OBJECT
public:
    // Program version (1.01 for 1.1.7), recorded as major "." minor.
    static constexpr int kVersionMajor = SORTIMENTOR_VERSION_MAJOR;
    static constexpr int kVersionMinor = SORTIMENTOR_VERSION_MINOR;
    static QString VersionText();
    static QString SettingsKey(); // "Software\Varnolt\Sortimentor"

    // Builds the window and runs the start-up steps (settings, tooltip, last folder).
    // restoreLastDir false: start with an empty list, for a folder given on the command line.
    explicit Root(QWidget *parent = nullptr, bool restoreLastDir = true);
    ~Root() override;

    // Tag texts and their numeric reading (leading digits; empty or none reads 0).
    static QString TagOf(const QObject *o) { return controltag::Of(o); }
    static void SetTag(QObject *o, const QString &tag) { controltag::Set(o, tag); }
    static int TagNumber(const QObject *o) { return controltag::Number(o); }

    // Any control by its name.
    template <class T = QWidget> T *Control(const QString &name) const { return findChild<T *>(name); }

    QListWidget *LDateien() const;
    QLineEdit *tOrdner() const { return m_folder; }
    QPushButton *bOrdner() const { return m_browse; }
    QPushButton *bStarten() const { return m_continue; }
    QAbstractButton *bAbwaerts() const { return m_down; }
    QCheckBox *bPlayliste() const { return m_playlist; }
    QGroupBox *xpFrames(int i) const; // 1..3
    QLabel *pHelpTitel() const { return m_helpTitle; }
    Tooltips_Class *Tooltips() const { return m_tips; }

    // Icon number the help panel shows (a copy of the symbol pSymbole<n>).
    int HelpIcon() const;
    void SetHelpIcon(int n);
    // Whether a page is the one shown (independent of the window being on screen).
    static bool PageShown(const QWidget *page) { return controltag::Shown(page); }

    // Where bOrdner gets its folder from; the folder picker by default.
    void SetFolderPicker(std::function<QString()> picker) { m_picker = std::move(picker); }
    // Who answers the question before an album run; the Yes/No box by default.
    void SetConfirm(album::ConfirmFn confirm) { m_confirm = std::move(confirm); }
    // Where an information box goes (title, text); a modal box with OK by default.
    using NoticeFn = std::function<void(const QString &title, const QString &text)>;
    void SetNotice(NoticeFn notice) { m_notice = std::move(notice); }

    // The window's two tag objects, created on first use if missing.
    tags::Mp3TagID3v1 &TagV1();
    tags::Mp3TagID3v2 &TagV2();

    // Full path of the selected entry; empty without a selection.
    QString SelectedPath() const;
    // The field rows of the tag page as they stand.
    tagpanel::Rows TagRows() const;

    // A run (album run, single-file write or renaming) is in progress.
    bool IsRunning() const { return m_run.IsRunning(); }
    // What the last continue click on the tag page did.
    const album::RunResult &LastRun() const { return m_lastRun; }
    QProgressBar *RunProgress() const { return m_progress; }
    QToolButton *bInfo() const { return m_infoButton; }

    // Who decides about a run of this folder that did not finish, given the text
    // to show: 0 later, 1 finish it, 2 undo it. A box with three buttons by default.
    using RecoveryChoiceFn = std::function<int(const QString &text)>;
    void SetRecoveryChoice(RecoveryChoiceFn choice) { m_recoveryChoice = std::move(choice); }
    QPushButton *bUndoRun() const { return m_undoRun; }

    // Keyboard and screen reader support (RootKeyboard.cpp): tab order in reading order,
    // shortcuts for the captions without a mnemonic, Ctrl+Up/Ctrl+Down for the arrow
    // buttons, an accessible name on every control; wrapped texts keep the room they need
    // when the window is made small. Safe to call more than once.
    void SetupKeyboardAndAccessibility();
    // Loads a folder as if it had been chosen with bOrdner, then selects the entry named
    // `select` if the list has it. False (and nothing changes) when it is no folder or a
    // load or a run is under way.
    bool OpenFolder(const QString &folder, const QString &select = QString());

    // Sorting aids (RootSorting.cpp) and preview (RootPreview.cpp). An order by name is at once; the
    // tag orders read the files in the background and reorder the list when done.
    void SortAlbum(album::SortOrder order);
    bool IsSorting() const;
    // What a continue click on the tag page would write now, one row per entry.
    std::vector<album::PreviewRow> RunPreviewRows() const;
    // The run from the pages (RootRun.cpp): the plan, the window's steps, what follows.
    album::RunPlan PlanFromPages() const;
    album::FileSteps RunSteps();
    void AfterRun(const album::RunPlan &plan);
    // The pages' options that the preview works from.
    album::PreviewInput RunPreviewInput() const;

public slots:
    // Album list.
    void LoadFileList();
    void CheckFileList();
    void MoveListItemUp(QListWidget *list);
    void MoveListItemDown(QListWidget *list);
    void MoveListItemTo(QListWidget *list, qint16 target);
    void bOrdnerClick();
    void bAufwaertsClick();
    void bAbwaertsClick();

    // Help panel and page watcher.
    void InfoHelpText();
    void Timer1Tick();

    // Continue button: moves through the pages; the work on the tag page is ContinueOnTagPage.
    void bStartenClick();

    // Tag panel and renaming options.
    void LDateienClick();
    void GetMp3Info();
    void FieldToggleClick(QCheckBox *toggle);
    void bAlbumRefreshClick();
    void bChangeFilenameClick();
    void bUseExistFileClick();
    void tFilenameChange();
    void ContinueOnTagPage();
    // The about dialog, opened beside the window.
    void ShowInfo();
    // The run's record (RootRecord.cpp): a run of the folder that did not finish
    // is offered to be finished or undone; the last finished one can be undone.
    void OfferRecovery();
    void OfferRecoverySoon(int ms = 0);  // requests made meanwhile become one question
    void UndoLastRun();

    // Start-up and close.
    void Startup();
    void StoreLastDir();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    void BuildUi();
    void AddSortingAids();
    void AddRunPreview();
    void AddDeviceOrder();
    void UpdateDeviceOrder();
    void UpdateSortingAids();
    void StopSorting();
    void AddRunRecord();
    void RepairRun(bool forward, bool undo);
    void SetupTooltip();
    helppanel::Pages PageStates() const;
    void YieldIfDue();
    void WriteTagsOf(const QString &path);
    void LockForRun(bool locked);
    void ShowRunProgress(int index, int count);
    void ReloadAlbum();
    // An information box (title, text) through the notice hook, or a modal box with OK.
    void Notice(const QString &title, const QString &text);
    // The renaming run's question after a file could not be moved away: go on or stop.
    bool AskGoOnAfterFailure(const QString &name, const QString &reason);

    std::unique_ptr<Ui::Root> m_ui;  // every control of Root.ui, typed
    platform::DragList *m_list = nullptr;
    QListWidget *m_fileData = nullptr;
    QLineEdit *m_folder = nullptr;
    QPushButton *m_browse = nullptr;
    QPushButton *m_continue = nullptr;
    QAbstractButton *m_up = nullptr;
    QAbstractButton *m_down = nullptr;
    QCheckBox *m_playlist = nullptr;
    QCheckBox *m_deviceOrder = nullptr;
    QGroupBox *m_folderFrame = nullptr;
    QGroupBox *m_pages[4] = {};
    QLabel *m_symbols[11] = {};
    QLabel *m_helpTitle = nullptr;
    QLabel *m_helpCaption = nullptr;
    QTimer *m_timer = nullptr;
    Tooltips_Class *m_tips = nullptr;
    QProgressBar *m_progress = nullptr;
    QToolButton *m_infoButton = nullptr;
    std::function<QString()> m_picker;
    album::ConfirmFn m_confirm;
    NoticeFn m_notice;
    std::unique_ptr<tags::Mp3TagID3v1> m_v1;
    std::unique_ptr<tags::Mp3TagID3v2> m_v2;
    mp3info::Mp3InfoRecord m_record;
    album::AlbumRun m_run;
    album::SortKeyReader *m_sorter = nullptr;
    QList<QPushButton *> m_sortButtons;
    album::RunResult m_lastRun;
    bool m_closeAfterRun = false;
    QPushButton *m_undoRun = nullptr;
    RecoveryChoiceFn m_recoveryChoice;
    bool m_repairing = false;
    bool m_offering = false;  // the question about an unfinished run is open
    QTimer *m_offerTimer = nullptr; // running while a question about the record is due
    bool m_closing = false;   // the window goes: nothing more is asked
    bool m_restoreLastDir = true;
    bool m_loading = false;
    bool m_checking = false;
    qint64 m_lastYield = 0;
};
