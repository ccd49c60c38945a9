#pragma once
// The album run's driver: the confirmation, the visit of every file, then the
// renaming run and the playlist.

#include "AlbumRename.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>


namespace album {

class RecordedRun;

// The confirmation before an album run. The title is one blank followed by the
// window caption.
inline constexpr char16_t kConfirmTitle[] = u" Sortimentor Converter";
inline constexpr char16_t kConfirmText[] =
    u"ACHTUNG !\n"
    u"Sie verändern die Mp3-Informationen der markierten Felder \n"
    u"für alle in der Dateiliste enthaltenen Audiodateien. \n"
    u"Dieser Vorgang kann nicht rückgängig gemacht werden.\n"
    u"\n"
    u"Möchten Sie wirklich fortfahren ?";
QString ConfirmTitle();
QString ConfirmText();

// Asks a Yes/No question; true for Yes. The window passes AskYesNo, tests a lambda.
using ConfirmFn = std::function<bool(const QString &title, const QString &text)>;

// One file of a run: its position, list entry and full path.
struct RunFile {
    int index = 0;
    int count = 0;
    QString entry;
    QString path;
    QJsonObject planned;   // the rows the plan has for it
    bool newDisc = false;  // per disc: the track counter starts again here, at the plan's track
};

// What the driver does to one file, in this order. Each step may throw; a
// failing step is skipped and the next runs. Empty steps are left out.
struct FileSteps {
    std::function<void(const RunFile &)> select;        // select the entry in the list
    std::function<void(const RunFile &)> countTrack;    // album run only
    std::function<void(const RunFile &)> makeWritable;  // e.g. MakeWritable(f.path)
    std::function<void(const RunFile &)> titleFromName; // album run only
    std::function<void(const RunFile &)> writeId3v1;    // the stream-information ID3v1 writer
    std::function<void(const RunFile &)> writeTags;     // the checked rows into the tags
    // In place of the two writes, without a window: the file's rows as the record
    // holds them written (WriteRowsAlone); why it failed, empty when it did not.
    std::function<QString(const RunFile &, const QJsonObject &rows)> writeRows;
    // The rows the two writes are about to take (kept in the run's record, so
    // that a run cut short can be finished without the window).
    std::function<QJsonObject(const RunFile &)> rows;
};

struct RunPlan {
    QString folder;          // the source folder text
    QStringList entries;     // the album list, in order
    int selected = 0;        // the selected entry, for the single-file write
    bool wholeAlbum = true;  // album run (asks first) or single-file write
    bool writePlaylist = false;             // album run only
    std::function<QString()> albumText;     // the playlist's name, read when it is written
    std::optional<RenameOptions> rename;    // run the renaming afterwards
    // The rows at the start and whether the title comes from the file name: with
    // the track counted on, what each file is planned to get.
    QJsonObject rows;
    bool titleFromName = false;
    // The track counted per disc (the tags' TPOS): it starts again with each disc's first file.
    bool perDisc = false;
    // Last, the directory entries in album order, where the folder lies on FAT or exFAT.
    bool directoryOrder = false;
};

enum class RunOutcome {
    Busy,      // a run was already in progress; nothing started
    Declined,  // the user answered No; nothing changed
    Empty,     // the list is empty; nothing to do
    Done,      // went through to the end
    Stopped,   // a stop request ended it after a complete file
    NoRecord,  // the run's record could not be written; nothing changed
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Done;
    int visited = 0;           // files that went through all steps
    int failedSteps = 0;       // steps that threw
    QStringList failedFiles;   // entries with at least one failed step
    QStringList whyFailed;     // for each of them, why, in German
    bool playlistWritten = false;
    std::optional<RenameResult> renaming;
    QString problem;           // NoRecord: why; or what the directory order lacks; in German
};

// Drives the continue click on the tag page: the album run (after the
// confirmation) or the single-file write, then the renaming run and the
// playlist. Runs on the UI thread and yields between steps; a second Run while
// one is going starts nothing, and RequestStop ends the run after the file
// being written. The playlist is written after the renaming, so it names the
// files as they are called afterwards.
class AlbumRun {
public:
    void SetSteps(FileSteps steps) { steps_ = std::move(steps); }
    void SetConfirm(ConfirmFn confirm) { confirm_ = std::move(confirm); }
    // Called with true before the first file, with false after the last.
    void SetLock(std::function<void(bool locked)> lock) { lock_ = std::move(lock); }
    // Called before each file: 0-based index, number of files, entry.
    void SetProgress(std::function<void(int index, int count, const QString &entry)> progress) {
        progress_ = std::move(progress);
    }
    // Lets window events run; defaults to QCoreApplication::processEvents.
    void SetYield(std::function<void()> yield) { yield_ = std::move(yield); }
    // Seam for the renaming run's file operation (tests inject faults).
    void SetRenameFn(RenameFn fn) { renameFn_ = std::move(fn); }
    void SetCopyFn(CopyFn fn) { copyFn_ = std::move(fn); }
    void SetTrashFn(TrashFn fn) { trashFn_ = std::move(fn); }
    // Who decides whether the renaming goes on after a file could not be moved away.
    void SetTrashQuestion(TrashQuestionFn fn) { ask_ = std::move(fn); }

    RunResult Run(const RunPlan &plan);

    bool IsRunning() const { return running_; }
    void RequestStop() { stopRequested_ = true; }
    bool StopRequested() const { return stopRequested_; }

private:
    void Step(const std::function<void(const RunFile &)> &step, const RunFile &f, bool &failed, RunResult &r,
              QString *why = nullptr);
    RunResult RunRecorded(const RunPlan &plan, RunResult r);
    bool TagFile(const RunPlan &plan, RecordedRun &run, const RunFile &f, RunResult &r);
    void Finish(const RunPlan &plan, RecordedRun &run, RunResult &r);
    void Lock(bool on);
    void Progress(int index, int count, const QString &name);
    void Yield();

    FileSteps steps_;
    ConfirmFn confirm_;
    std::function<void(bool)> lock_;
    std::function<void(int, int, const QString &)> progress_;
    std::function<void()> yield_;
    RenameFn renameFn_;
    CopyFn copyFn_;
    TrashFn trashFn_;
    TrashQuestionFn ask_;
    bool running_ = false;
    bool stopRequested_ = false;
};

} // namespace album
