#pragma once
// The file-name page's options (bChangeFilename, bUseExistFile, tFilename), reached
// through the form's typed pointers, and the page state they give xpFrames(2): "2" once
// a renaming choice is complete, "1" while it is not.
#include <QString>

class QListWidgetItem;
namespace Ui {
class Root;
} // namespace Ui

class RenamePageForm {
public:
    explicit RenamePageForm(const Ui::Root &ui) : m_ui(ui) {}

    // bChangeFilename was clicked: the page state, and whether the help icon goes back
    // to the file-name step (when the option was cleared).
    struct Change {
        QString state;
        bool backToNamesStep = false;
    };
    Change ChangeFilenameClicked() const;

    // bUseExistFile was clicked. Checked: tFilename shows the selected entry's title (none
    // without a selection: the run uses each file's own) and is locked; true is returned,
    // the page is complete and the user is told with OwnNamesNotice. Cleared: tFilename
    // opens empty with the focus; false.
    bool UseExistFileClicked(const QListWidgetItem *current) const;
    static QString OwnNamesNotice();

    // The page state for the name typed into tFilename: complete from three characters.
    QString StateForName() const;

private:
    const Ui::Root &m_ui;
};
