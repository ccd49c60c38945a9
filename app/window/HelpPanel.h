#pragma once
// What the help panel shows and what the page watcher Timer1 does on a tick, decided
// from the page states alone. Root reads the states from its pages and applies the
// outcome to its labels and controls.
#include <QString>
#include <functional>

namespace helppanel {

// The pages' visibility and their states as numbers (an empty tag text reads 0).
struct Pages {
    bool intro = false; // xpFrames(3)
    bool names = false; // xpFrames(2)
    bool tags = false;  // xpFrames(1)
    int folderState = 0; // xpFrame0: 0 no files, 1 files loaded
    int namesState = 0;  // xpFrames(2): 2 once a renaming choice is made
};

// Icon number (0: the help icon stays), title and text of the step the pages are at.
struct Help {
    int icon = 0;
    QString title, text;
};

// InfoHelpText's choice: the first of the four steps whose condition holds; none
// when no page is shown (both texts empty).
Help ForPages(const Pages &pages);

// One tick of Timer1.
struct Tick {
    bool onIntro = false;       // the list controls and bStarten follow hasFiles, and the panel refreshes
    bool hasFiles = false;
    int icon = 0;               // set after the refresh; 0: none
    bool namesSeen = false;     // xpFrames(2)'s state goes back to "1"
};

// `folderExists` is asked only on the second step, where the icon tells whether
// the source folder is still there.
Tick WatchTick(const Pages &pages, const std::function<bool()> &folderExists);

} // namespace helppanel
