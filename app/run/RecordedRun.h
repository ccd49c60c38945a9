#pragma once
// One recorded album run: the object through which the window's run, the terminal's
// run, the repair of a run cut short (finish it or roll it back) and the undo of a
// finished run change an album. It owns the run's record (RunJournal), whose marks and
// their order RunMarks.h pictures:
//
//   Begin ─▶ MarkRows/MarkTagged per file ─▶ Rename ─▶ Finish ─▶ (record kept) ─▶ Back(undo)
//   Load  ─▶ Forward (finish from the marks and the files)  or  Back (put everything back)
//
// Every step decides from the files themselves (name, content hash) as well as from
// the marks, so each may be cut short and started again.

#include "AlbumRename.h"
#include "AlbumWorkflow.h"
#include "RunJournal.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace album {

// Writes one file's rows as the album run does (the ID3v1 writer, then the
// tag panel's write); why it failed, empty when it did not.
using RowsWriter = std::function<QString(const QString &path, const tagpanel::Rows &rows)>;
// Writes the rows with these tag objects and stream record (the window's own).
QString WriteRows(const QString &path, const tagpanel::Rows &rows, mp3info::Mp3InfoRecord &record,
                  tags::Mp3TagID3v1 &v1, tags::Mp3TagID3v2 &v2);
// The writer without a window: fresh tag objects and record for every file.
QString WriteRowsAlone(const QString &path, const tagpanel::Rows &rows);

struct RepairSeams {
    RowsWriter write;  // WriteRowsAlone by default
    // Before each file, with the position, the number of files, the file's
    // name; also where the window lets its events run.
    std::function<void(int index, int count, const QString &name)> progress;
    TrashFn trash;     // platform::MoveToTrash by default
    // The renaming run's seams, for the part of a run still to come.
    RenameFn rename;
    CopyFn copy;
    TrashQuestionFn ask;
};

struct RepairResult {
    bool ok = true;        // everything that was to be done is done
    int files = 0;         // files of the album that were put into their final state
    QStringList refused;   // undo: changed since the run, left as they are
    QStringList failed;    // "name: why"
    std::optional<RenameResult> renaming;  // when the renaming ran here
};

class RecordedRun {
public:
    explicit RecordedRun(RepairSeams seams = {});

    // A new run's plan on the disk (RunJournal::Begin); false, with why, when it is not.
    bool Begin(const QString &folder, const QStringList &entries, const std::vector<bool> &writeTags,
               const std::vector<QJsonObject> &plannedRows, const std::optional<RenameOptions> &rename,
               const QString &playlistName, QString *why, bool directoryOrder);
    // The run recorded for the folder: one under way, else the last finished one.
    bool Load(const QString &folder) { return journal_.Load(folder); }
    const JournalState &State() const { return journal_.State(); }

    // One file's tag step: the rows it is about to get when they differ from the plan,
    // then what came of it. False when the record could not follow.
    bool MarkRows(int i, const QJsonObject &rows);
    bool MarkTagged(int i, const QString &path, const QString &why, bool flushFile = true);
    // The same with the mark held back until MarkHeld, which flushes the files of all held
    // marks at once and then writes them: a mark must not reach the disk before its file.
    void MarkTaggedLater(int i, const QString &path, const QString &why) { held_.push_back({i, path, why}); }
    // False when the record could not follow.
    bool MarkHeld();
    // The renaming with every step marked: planned anew, or resumed from its record.
    RenameResult Rename();
    // The playlist, the directory order and the end mark; from then on the record is
    // the means to undo the run and leaves the album. False when a mark could not be written.
    bool Finish(QStringList *failed);

    // Finishes the run: the files not written yet, the renaming, the playlist. A record
    // of a roll back goes on rolling back.
    RepairResult Forward();
    // Puts every file back as it was before the run: names, whole contents (checked
    // by hash), mode; the playlist as it was or none. What is moved out of the way
    // goes to the trash. With `undo`, a file changed since the finished run (size,
    // time or content) is left alone and named in `refused`. The record is removed
    // once the album is back.
    RepairResult Back(bool undo);

private:
    QString Path(const QString &name) const { return EntryPath(journal_.State().folder, name); }
    void Progress(int index, int count, const QString &name);
    bool Fail(const QString &name, const QString &why);
    platform::TrashOutcome Trash(const QString &path);
    QString Locate(const JournalFile &f, QByteArray *hash = nullptr) const;
    QStringList FinalNames() const;
    RenameSeams Marked();
    bool WritePlaylist(QStringList *failed);
    bool WriteDirectoryOrder();
    // Back's steps (RecordedRunBack.cpp).
    void RestorePlaylist(bool checkChanged);
    bool ChangedSince(const JournalFile &f) const;
    bool SetAside(const JournalFile &f, const QString &back, bool checkChanged);
    bool PutBack(const std::vector<bool> &waiting);

    struct Held {
        int i;
        QString path, why;
    };
    std::vector<Held> held_;
    // Why a repair stops: its record cannot be written to.
    static const QString kNoMark;

    RunJournal journal_;
    RepairSeams seams_;
    RepairResult r_;
};

} // namespace album
