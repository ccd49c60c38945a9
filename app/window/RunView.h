#pragma once
// What the window shows while a run works: the album list, the tag page and the folder
// button locked, and the progress bar with which file of how many the run is at.
#include <QString>
#include <functional>

class QListWidget;
class QProgressBar;
class QWidget;

class RunView {
public:
    // Any of the controls may be missing; it is skipped.
    RunView(QListWidget *list, QWidget *browse, QWidget *tagArea, QProgressBar *progress)
        : m_list(list), m_browse(browse), m_tagArea(tagArea), m_progress(progress) {}

    // The list's loading marker goes to "2" (its selections are the run's own), the
    // controls are locked and the progress bar shows, empty.
    void Lock() const;
    // The marker goes back to "1" and the progress bar hides; `showFirst` runs before
    // the controls open again.
    void Unlock(const std::function<void()> &showFirst) const;
    // "Datei <index + 1> von <count>", also as the bar's accessible description.
    static void ShowProgress(QProgressBar *progress, int index, int count);

private:
    QListWidget *m_list;
    QWidget *m_browse;
    QWidget *m_tagArea;
    QProgressBar *m_progress;
};
