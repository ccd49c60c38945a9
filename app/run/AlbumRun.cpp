#include "AlbumRun.h"
#include "AlbumSort.h"
#include "AlbumWorkflow.h"
#include "DirectoryOrder.h"
#include "RecordedRun.h"
#include "UndoRecord.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QLocale>

#include <exception>

namespace album {

QString ConfirmTitle() { return QString::fromUtf16(kConfirmTitle); }
QString ConfirmText() { return QString::fromUtf16(kConfirmText); }

namespace {

// Runs a callback of the window; whatever it throws must not end the run.
template <typename Fn>
void Quietly(Fn &&fn) {
    try {
        fn();
    } catch (...) {
    }
}

} // namespace

void AlbumRun::Yield() {
    Quietly([&] {
        if (yield_)
            yield_();
        else if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    });
}

void AlbumRun::Step(const std::function<void(const RunFile &)> &step, const RunFile &f, bool &failed, RunResult &r,
                    QString *why) {
    if (!step)
        return;
    QString detail;
    try {
        step(f);
        return;
    } catch (const std::exception &e) {
        detail = QString::fromUtf8(e.what());
    } catch (...) {
    }
    if (why && why->isEmpty()) {
        const QFileInfo info(f.path);
        *why = !info.exists()       ? QStringLiteral("die Datei ist nicht mehr da")
               : !info.isWritable() ? QStringLiteral("die Datei ist schreibgeschützt")
               : detail.isEmpty()   ? QStringLiteral("die Datei ließ sich nicht schreiben")
                                    : QStringLiteral("die Datei ließ sich nicht schreiben (%1)").arg(detail);
    }
    ++r.failedSteps;
    if (!failed)
        r.failedFiles << f.entry;
    failed = true;
}

RunResult AlbumRun::Run(const RunPlan &plan) {
    RunResult r;
    if (running_) {
        r.outcome = RunOutcome::Busy;
        return r;
    }
    if (plan.entries.isEmpty() || plan.folder.isEmpty()) {
        r.outcome = RunOutcome::Empty;
        return r;
    }
    // Guard from before the question on: the box runs its own event loop.
    running_ = true;
    stopRequested_ = false;
    struct Release {
        bool &flag;
        ~Release() { flag = false; }
    } release{running_};

    const int n = static_cast<int>(plan.entries.size());

    if (plan.wholeAlbum) {
        if (confirm_ && !confirm_(ConfirmTitle(), ConfirmText())) {
            r.outcome = RunOutcome::Declined;
            return r;
        }
        return RunRecorded(plan, r);
    }
    if (plan.rename)
        return RunRecorded(plan, r);
    // Single-file write without renaming: one file, itself written all or nothing.
    if (plan.selected >= 0 && plan.selected < n) {
        const int i = plan.selected;
        const RunFile f{i, n, plan.entries[i], EntryPath(plan.folder, plan.entries[i]), {}, false};
        bool failed = false;
        Step(steps_.makeWritable, f, failed, r);
        Yield();
        Step(steps_.writeId3v1, f, failed, r);
        Yield();
        Step(steps_.writeTags, f, failed, r);
        ++r.visited;
    }
    if (stopRequested_)
        r.outcome = RunOutcome::Stopped;
    return r;
}

namespace {

// What each file is planned to get: the rows at the start with the track counted on
// and the title from the file name. Each file's rows from the plan's own: an object
// changed again and again keeps every old value in its storage, and each copy of it
// would carry them all.
std::vector<QJsonObject> PlannedRows(const RunPlan &plan, const std::vector<int> &discs) {
    const int n = static_cast<int>(plan.entries.size());
    const QStringList tracks = plan.wholeAlbum ? CountedTracks(plan.rows.value("tTrack").toString(), n, discs, QLocale())
                                               : QStringList();
    const std::vector<int> sizes = DiscSizes(n, discs);
    std::vector<QJsonObject> planned;
    for (int i = 0; i < n; ++i) {
        QJsonObject rows = plan.rows;
        if (plan.wholeAlbum) {
            rows["tTrack"] = tracks[i];
            if (rows.value("trackTotal").toInt() > 0)
                rows["trackTotal"] = sizes[static_cast<size_t>(i)];
            if (plan.titleFromName)
                rows["tTitel"] = TitleFromFileName(plan.entries[i]);
        }
        planned.push_back(rows);
    }
    return planned;
}

} // namespace

void AlbumRun::Lock(bool on) {
    if (lock_)
        Quietly([&] { lock_(on); });
}

void AlbumRun::Progress(int index, int count, const QString &name) {
    if (progress_)
        Quietly([&] { progress_(index, count, name); });
}

// The album run and any run that renames: every change is recorded first,
// so that a run cut short can be finished or undone, and a finished one undone.
RunResult AlbumRun::RunRecorded(const RunPlan &plan, RunResult r) {
    const int n = static_cast<int>(plan.entries.size());
    std::vector<bool> writes(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        writes[static_cast<size_t>(i)] = plan.wholeAlbum || i == plan.selected;
    std::vector<int> discs;
    if (plan.perDisc && plan.wholeAlbum)
        for (const QString &entry : plan.entries)
            discs.push_back(ReadSortKey(plan.folder, entry).disc);
    const std::vector<QJsonObject> planned = PlannedRows(plan, discs);
    QString albumText;
    if (plan.writePlaylist && plan.wholeAlbum)
        Quietly([&] { albumText = (plan.albumText ? plan.albumText() : QString()) + QStringLiteral(".m3u"); });

    RepairSeams seams;
    seams.progress = [this](int index, int count, const QString &name) {
        Progress(index, count, name);
        Yield();
    };
    seams.rename = renameFn_;
    seams.copy = copyFn_;
    seams.trash = trashFn_;
    seams.ask = ask_;
    RecordedRun run(seams);
    const bool directoryOrder = plan.directoryOrder && DirectoryOrder::Matters(plan.folder);
    if (!run.Begin(plan.folder, plan.entries, writes, planned, plan.rename, albumText, &r.problem, directoryOrder)) {
        r.outcome = RunOutcome::NoRecord;
        return r;
    }
    Lock(true);
    Yield();
    bool recording = true;
    {
        // One undo file for the in-place writes of all files, written over for each,
        // instead of one made and removed per file; it goes before the renaming.
        const tags::fileops::UndoRecordReuse oneUndoFile;
        for (int i = 0; i < n && !stopRequested_ && recording; ++i) {
            RunFile f{i, n, plan.entries[i], EntryPath(plan.folder, plan.entries[i]), planned[static_cast<size_t>(i)], false};
            f.newDisc = i > 0 && !discs.empty() && discs[static_cast<size_t>(i)] != discs[static_cast<size_t>(i - 1)];
            if (writes[static_cast<size_t>(i)])
                recording = TagFile(plan, run, f, r);
        }
        recording = run.MarkHeld() && recording;
    }
    if (stopRequested_ || !recording) {
        // The record stays: the next start offers to finish or undo the run.
        r.outcome = RunOutcome::Stopped;
        if (!recording)
            r.problem = QStringLiteral("Das Protokoll des Durchlaufs ließ sich nicht fortschreiben; der Durchlauf "
                                       "wurde angehalten und kann beim nächsten Laden beendet oder zurückgenommen werden.");
    } else {
        Finish(plan, run, r);
    }
    Lock(false);
    return r;
}

// One file's tag step, between its two marks; false when the record could not follow.
bool AlbumRun::TagFile(const RunPlan &plan, RecordedRun &run, const RunFile &f, RunResult &r) {
    const int i = f.index, n = f.count;
    const QJsonObject &planned = f.planned;
    bool failed = false;
    QString why;
    if (plan.wholeAlbum) {
        Progress(i, n, f.entry);
        Step(steps_.select, f, failed, r);
        if (i > 0)  // the first file takes the counter as it stands
            Step(steps_.countTrack, f, failed, r);
    }
    Step(steps_.makeWritable, f, failed, r);
    Yield();
    if (plan.wholeAlbum)
        Step(steps_.titleFromName, f, failed, r);
    Yield();
    QJsonObject now = planned;
    if (steps_.rows)
        Quietly([&] { now = steps_.rows(f); });
    // Rows other than the planned ones (changed during the run) must be on the
    // disk before the write, so that finishing the run writes the same.
    if (now != planned && !run.MarkRows(i, now))
        return false;
    if (steps_.writeRows) {
        Step([&](const RunFile &g) {
                 if (const QString w = steps_.writeRows(g, now); !w.isEmpty())
                     throw std::runtime_error(w.toStdString());
             },
             f, failed, r, &why);
    } else {
        Step(steps_.writeId3v1, f, failed, r, &why);
        Yield();
        Step(steps_.writeTags, f, failed, r, &why);
    }
    if (failed)
        r.whyFailed << why;
    ++r.visited;
    run.MarkTaggedLater(i, f.path, why);
    return true;
}

// The renaming, the playlist, the directory order and the end mark.
void AlbumRun::Finish(const RunPlan &plan, RecordedRun &run, RunResult &r) {
    if (plan.rename)
        Quietly([&] { r.renaming = run.Rename(); });
    Quietly([&] { run.Finish(nullptr); });
    r.playlistWritten = run.State().playlistDone;
    r.problem = run.State().dirOrderProblem;
}

} // namespace album
