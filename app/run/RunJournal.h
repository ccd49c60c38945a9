#pragma once
// The record of an album run: the whole plan with every file's old name and old
// tag bytes (those in a file of their own, read back only when a file is to be
// rebuilt), written and flushed before the first byte of the album changes, then
// one flushed mark for every step that completes. While the run is under way the
// record lies beside the album in a hidden folder, so that a run cut short can be
// finished or undone from it. Once the run is finished it moves to the user's data
// folder (RunStore.h) as the means to undo the run; the undo brings it back first,
// since the old files it rebuilds must be renamed into the album.

#include "AlbumFile.h"
#include "AlbumRename.h"
#include "RunMarks.h"
#include "TagPanel.h"
#include "TagRegions.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tags::fileops {
class File;
}

namespace album {

struct JournalFile {
    QString oldName;
    bool present = false;    // there when the run began (and listed once)
    bool writeTags = false;  // its tags are to be written
    qint64 oldSize = 0;
    int oldMode = 0;         // permission bits
    QByteArray oldHash;      // ContentDigest of the whole file
    qint64 oldAt = 0;        // where its old tag regions lie in the record's tag file
    qint64 oldHeadSize = 0, oldTailSize = 0;
    QByteArray oldMiddleHash;
    QJsonObject plannedRows; // what its tag step writes unless the window says otherwise
    // From the marks:
    bool begun = false;      // its tag step started, with `rows`
    QJsonObject rows;
    bool tagged = false;     // its tag step ended (written or skipped)
    QByteArray taggedHash;   // its content then
    QString skipped;         // why a step failed; empty if none
    QString temp, newName;   // the renaming plan (empty: it keeps its name)
    int moved = 0;           // renaming: 1 at its temporary name, 2 at its new name
    QString finalName;       // from the completion mark
    qint64 finalSize = 0, finalTime = 0;
    QByteArray finalHash;
    // Its content after the tag step, as far as known.
    QByteArray ContentHash() const { return tagged ? taggedHash : oldHash; }
    // Its content after a tag write, which changed only its tag regions; with `flushed`,
    // the file flushed first (`flushed` false when that failed).
    QByteArray HashAfterTagWrite(const QString &path, bool *flushed) const {
        return FileHashAfterTagWrite(path, oldSize - oldHeadSize - oldTailSize, oldMiddleHash, flushed);
    }
};

struct JournalState {
    QString folder;
    std::vector<JournalFile> files;  // in the order the user chose
    bool rename = false;
    RenameOptions renameOptions;
    bool renamePlanned = false, renamed = false;
    bool playlist = false;
    QString playlistName;
    bool playlistExisted = false;
    QByteArray playlistOld;
    bool playlistBegun = false, playlistDone = false;
    QByteArray playlistNew;
    // The directory entries rewritten in album order as the last step (FAT only).
    bool dirOrder = false, dirOrderBegun = false, dirOrderDone = false;
    QString dirOrderProblem;  // why they are not in album order, for the user
    bool complete = false;
    bool rollingBack = false;  // a roll back or an undo has begun
    int FilesDone() const;
    int FilesPresent() const;
};

class RunJournal {
public:
    // The record's files in its folder: the plan and the marks, the old tag regions.
    static constexpr char kJournalFile[] = "lauf.journal";
    static constexpr char kTagFile[] = "lauf.tags";
    RunJournal();
    ~RunJournal();
    RunJournal(const RunJournal &) = delete;
    RunJournal &operator=(const RunJournal &) = delete;

    // Hidden folder in the album folder that holds the record of a run under way.
    static QString DirFor(const QString &folder);
    // Whether the folder has a record: of a run under way, or the kept one of its last run.
    static bool Exists(const QString &folder);

    // Reads every listed file and writes the plan: the files' identity, old tag
    // bytes, mode, the rows planned for each, the playlist's old content. The
    // record of an earlier finished run is replaced, an unfinished one is not. False, with the reason in German, when it
    // cannot be written completely; then nothing of the album has changed.
    bool Begin(const QString &folder, const QStringList &entries, const std::vector<bool> &writeTags,
               const std::vector<QJsonObject> &plannedRows, const std::optional<RenameOptions> &rename,
               const QString &playlistName, QString *why, bool directoryOrder = false);
    // Reads the plan and every mark that reached the disk: the record in the album
    // folder, else the kept record of the folder's last run. False without one. Files
    // that a directory step cut short left in its holding folder (the record among
    // them) come back first; a finished run's record still in the album moves out.
    bool Load(const QString &folder);
    // A finished run's record from the album folder into the user's data folder; false
    // (and the record where it was) when that cannot be done.
    bool Keep();
    // A kept record back into the album folder, for an undo.
    bool BringHome();
    // Appends one mark and flushes it; false if it could not be written. A mark
    // that is only a hint for a repair, which decides from the files as well,
    // need not be flushed on its own: the next flushed one takes it along.
    bool Mark(MarkKind kind, QJsonObject fields = {}, bool flush = true);
    // Removes the record, the kept copy too, and flushes that.
    bool Remove();
    // Lets go of the record's file, which the marks keep open, before the folder moves.
    void Close();

    JournalState &State() { return state_; }
    const JournalState &State() const { return state_; }
    QString Dir() const { return dir_; }
    QString PathOf(const QString &name) const;
    // A file's tag regions when the run began, from the record's tag file;
    // nothing when that file is damaged or gone.
    std::optional<TagRegions> OldRegions(const JournalFile &f) const;

    // Seam for tests: called once the plan is on the disk (with 0) and after
    // every flushed mark with how many there are.
    static void SetMarkHook(std::function<void(int marks)> hook);

private:
    // Why no run may begin in the folder now; empty when one may.
    static QString BlockedBy(const QString &folder);
    QString CannotWrite() const;
    QString RecordOldFiles(const QStringList &entries, const std::vector<bool> &writeTags,
                           const std::vector<QJsonObject> &plannedRows, const QString &tagsPart, QJsonArray &files);
    QString RecordOldPlaylist();
    bool WritePlan(const QJsonArray &files, qsizetype count, const QString &tagsPart);
    // Reads the record in `dir` as the record of the album in `folder`.
    bool LoadFrom(const QString &dir, const QString &folder);
    // The newest kept record of the folder's album.
    bool LoadKept(const QString &folder);
    // Whether the record is of the album in `folder`: by its path, or, for an album
    // that moved (another mount point or drive letter), by its files as the run left them.
    bool SameAlbum(const QString &folder) const;
    void Apply(const QJsonObject &mark);
    bool Write(const QByteArray &line, bool flush);
    JournalState state_;
    QString dir_;         // where the record lies now
    QString id_;          // its name among the kept records
    QString planFolder_;  // the album folder as the plan names it
    bool kept_ = false;   // it lies among the kept records
    int marks_ = 0;
    qint64 end_ = 0;                            // where the next mark goes
    std::unique_ptr<tags::fileops::File> out_;  // the record, open for the marks
};

QJsonObject RowsToJson(const tagpanel::Rows &rows);
tagpanel::Rows RowsFromJson(const QJsonObject &o);

} // namespace album
