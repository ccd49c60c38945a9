#pragma once
// The window-independent core of the album run: the track counter, the
// attribute rule, the playlist, the numbered names, the renaming run and the
// driver that visits the album's files. Root supplies the widget side through
// callbacks; tests call everything here without a window.

#include "Trash.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace album {

// ---- Small rules -----------------------------------------------------------

// Full path of an entry: the folder text followed by the entry text. A folder
// text without a trailing separator gets one, so the result never lands beside
// the folder.
QString EntryPath(const QString &folder, const QString &entry);

// The track counter for the next file: a text that is not a number in the
// locale counts as 1, then one is added and written back in the locale
// without group separators ('5' -> '6', '07' -> '8', 'abc' -> '2', '' -> '2').
QString NextTrackText(const QString &current, const QLocale &locale);

// The entry text without its last four characters ('07 Song.mp3' -> '07 Song').
QString TitleFromFileName(const QString &entry);

// Makes a file the user cannot write writable (adds the owner's write
// permission); a writable file keeps its mode. True if the mode was changed.
bool MakeWritable(const QString &path);

// Writes folder + albumText + ".m3u": one entry per line, each followed by
// CR LF, names in the file system's encoding. An existing playlist is
// replaced atomically. False (and nothing written) when the name is not a
// plain file name in the folder or the file cannot be written.
bool WritePlaylist(const QString &folder, const QString &albumText, const QStringList &entries);

// The position as a decimal number of at least three digits ("001", "1000").
QString SequenceNumber(int position1Based);

// The numbered name of the entry at a 1-based position:
//   useExistFile:            n + "- " + presentName
//   tFilename empty:         n + ext
//   otherwise:               n + "- " + tFilename + ext
// ext is the last four characters of presentName, spelled as they are.
QString NumberedName(int position1Based, const QString &presentName, const QString &tFilename, bool useExistFile);

// ---- Renaming run ----------------------------------------------------------

struct RenameOptions {
    QString tFilename;          // common new name, used when !useExistFile
    bool useExistFile = false;  // keep each file's present name behind the number
};

enum class RenameStatus {
    Renamed,        // now under its new name
    Unchanged,      // new name equals the present name; file untouched
    Missing,        // no such file in the folder; nothing done
    BadName,        // the new name is not a plain file name; old name kept
    Collision,      // the new name belongs to a file that stays; old name kept
    Failed,         // a copy, the trash or a rename failed; the file is back under its old name
    Stopped,        // the user stopped the run before this file; old name kept
    RolledBack,     // the run was undone; the file is back under its old name
    Stranded,       // could not be moved back: the file is under `finalName`,
                    // a temporary name in the folder (only if the folder itself
                    // stopped accepting renames halfway)
};

struct RenameEntry {
    QString oldName;
    QString newName;    // the name the scheme asked for
    QString finalName;  // the name the file has after the run
    RenameStatus status = RenameStatus::Unchanged;
    QString reason;     // why a file could not be moved away (copy or trash), for the user
};

struct RenameResult {
    std::vector<RenameEntry> entries;  // one per entry, in list order
    int renamed = 0;
    bool stopped = false;  // the user chose to stop after a file could not be moved away
    // The names the files have afterwards, in list order (for the playlist).
    QStringList FinalNames() const;
};

// Renames `from` to `to` (full paths); must not replace an existing file.
using RenameFn = std::function<bool(const QString &from, const QString &to)>;
// Called before each file is moved to its new name: 0-based index among the
// files that move, their number, the file's present name.
using ProgressFn = std::function<void(int index, int count, const QString &name)>;

// Copies `from` to the new file `to` (full paths); must not replace a file.
using CopyFn = std::function<bool(const QString &from, const QString &to)>;
// Moves a file to the trash without asking (platform::MoveToTrash by default).
using TrashFn = std::function<platform::TrashOutcome(const QString &path)>;
// Asked when a file cannot be moved away (its copy or its trash failed), with its
// name and the reason: true goes on with the other files, false stops; files that
// have already moved still reach their new names.
using TrashQuestionFn = std::function<bool(const QString &name, const QString &reason)>;

// Gives every entry of the album its numbered name, in list order. Every file
// that needs a new name is first copied to a unique temporary name in the same
// folder, its old file goes to the trash, and only then does the copy move to
// its new name, so that no new name can meet an old one that has not moved
// yet. A file keeps its old name (and stays out of the trash) when its new
// name is its present name, is not a valid name, is taken by a file that is
// not moving away, or when the copy or the trash fails; then `ask` decides
// whether the others go on (without `ask` they do). When a file can
// neither reach its new name nor go back, the whole run is undone from the
// list of old names. Nothing is ever deleted for good or overwritten.
RenameResult RenameAlbum(const QString &folder, const QStringList &entriesInOrder, const RenameOptions &options,
                         const RenameFn &renameFn = {}, const ProgressFn &progressFn = {},
                         const CopyFn &copyFn = {}, const TrashFn &trashFn = {}, const TrashQuestionFn &ask = {});

// The title of the renaming run's message boxes.
inline constexpr char16_t kRenameTitle[] = u" Dateien umbenennen";
// The question to `ask`, in German.
QString TrashQuestionText(const QString &name, const QString &reason);
// What the user must know after a run that could not rename every file: which
// files kept their names and why, and where stranded files are. Empty when
// every file that was to move did.
QString RenameReport(const RenameResult &result, const QString &folder);

// ---- Album run driver ------------------------------------------------------

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
// The modal box with Yes, No and the warning icon; No is the default button.
bool AskYesNo(QWidget *parent, const QString &title, const QString &text);

// One file of a run: its position, list entry and full path.
struct RunFile {
    int index = 0;
    int count = 0;
    QString entry;
    QString path;
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
};

struct RunPlan {
    QString folder;          // the source folder text
    QStringList entries;     // the album list, in order
    int selected = 0;        // the selected entry, for the single-file write
    bool wholeAlbum = true;  // album run (asks first) or single-file write
    bool writePlaylist = false;             // album run only
    std::function<QString()> albumText;     // the playlist's name, read when it is written
    std::optional<RenameOptions> rename;    // run the renaming afterwards
};

enum class RunOutcome {
    Busy,      // a run was already in progress; nothing started
    Declined,  // the user answered No; nothing changed
    Empty,     // the list is empty; nothing to do
    Done,      // went through to the end
    Stopped,   // a stop request ended it after a complete file
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Done;
    int visited = 0;           // files that went through all steps
    int failedSteps = 0;       // steps that threw
    QStringList failedFiles;   // entries with at least one failed step
    bool playlistWritten = false;
    std::optional<RenameResult> renaming;
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
    void Step(const std::function<void(const RunFile &)> &step, const RunFile &f, bool &failed, RunResult &r);
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
