#include "AlbumWorkflow.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <exception>

namespace album {

QString ConfirmTitle() { return QString::fromUtf16(kConfirmTitle); }
QString ConfirmText() { return QString::fromUtf16(kConfirmText); }

bool AskYesNo(QWidget *parent, const QString &title, const QString &text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    // The run cannot be undone: a stray Enter must not start it.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

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

void AlbumRun::Step(const std::function<void(const RunFile &)> &step, const RunFile &f, bool &failed, RunResult &r) {
    if (!step)
        return;
    try {
        step(f);
        return;
    } catch (const std::exception &) {
    } catch (...) {
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

    auto lock = [&](bool on) {
        if (lock_)
            Quietly([&] { lock_(on); });
    };
    auto progress = [&](int index, int count, const QString &name) {
        if (progress_)
            Quietly([&] { progress_(index, count, name); });
    };
    auto renameProgress = [&](int index, int count, const QString &name) {
        progress(index, count, name);
        Yield();
    };
    auto renameAll = [&] {
        Quietly([&] { r.renaming = RenameAlbum(plan.folder, plan.entries, *plan.rename, renameFn_, renameProgress, copyFn_,
                                                     trashFn_, ask_); });
    };
    const int n = static_cast<int>(plan.entries.size());

    if (plan.wholeAlbum) {
        if (confirm_ && !confirm_(ConfirmTitle(), ConfirmText())) {
            r.outcome = RunOutcome::Declined;
            return r;
        }
        lock(true);
        Yield();
        for (int i = 0; i < n && !stopRequested_; ++i) {
            const RunFile f{i, n, plan.entries[i], EntryPath(plan.folder, plan.entries[i])};
            progress(i, n, f.entry);
            bool failed = false;
            Step(steps_.select, f, failed, r);
            if (i > 0)  // the first file takes the counter as it stands
                Step(steps_.countTrack, f, failed, r);
            Step(steps_.makeWritable, f, failed, r);
            Yield();
            Step(steps_.titleFromName, f, failed, r);
            Yield();
            Step(steps_.writeId3v1, f, failed, r);
            Yield();
            Step(steps_.writeTags, f, failed, r);
            ++r.visited;
        }
        if (stopRequested_) {
            r.outcome = RunOutcome::Stopped;
        } else {
            if (plan.rename)
                renameAll();
            if (plan.writePlaylist) {
                Quietly([&] {
                    const QStringList names = r.renaming ? r.renaming->FinalNames() : plan.entries;
                    const QString albumText = plan.albumText ? plan.albumText() : QString();
                    r.playlistWritten = WritePlaylist(plan.folder, albumText, names);
                });
            }
        }
        lock(false);
        return r;
    }

    // Single-file write: only the selected entry, no question.
    if (plan.selected >= 0 && plan.selected < n) {
        const int i = plan.selected;
        const RunFile f{i, n, plan.entries[i], EntryPath(plan.folder, plan.entries[i])};
        bool failed = false;
        Step(steps_.makeWritable, f, failed, r);
        Yield();
        Step(steps_.writeId3v1, f, failed, r);
        Yield();
        Step(steps_.writeTags, f, failed, r);
        ++r.visited;
    }
    if (stopRequested_) {
        r.outcome = RunOutcome::Stopped;
    } else if (plan.rename) {
        lock(true);
        Yield();
        renameAll();
        lock(false);
    }
    return r;
}

} // namespace album
